"""Shared pieces of the Python package's tests: the engine home, the sample
read by the tests themselves, and a test case that runs one engine per class."""
from __future__ import annotations

import csv
import os
import re
import shutil
import tempfile
import unittest
from typing import Dict, List, Tuple

import vexa

ENGINE_HOME = os.environ.get("VEXA_ENGINE_HOME", "")
SAMPLE_CSV = os.path.join(ENGINE_HOME, "iris.csv")
SAMPLE_DICT = os.path.join(ENGINE_HOME, "iris.dict")


def sample_rows() -> Tuple[List[str], List[List[str]]]:
    """The header and the rows of the sample data file, as texts."""
    with open(SAMPLE_CSV, newline="") as file:
        rows = [row for row in csv.reader(file) if row]
    return rows[0], rows[1:]


def sample_column(name: str) -> List[str]:
    header, rows = sample_rows()
    index = header.index(name)
    return [row[index] for row in rows]


_TOKEN = re.compile(r'"((?:[^"]|"")*)"|(\S+)')


def _tokens(line: str) -> List[Tuple[str, bool]]:
    """(text, quoted) pairs of one dictionary line, without its comment."""
    tokens = []
    for match in _TOKEN.finditer(line):
        if match.group(1) is not None:
            tokens.append((match.group(1).replace('""', '"'), True))
        elif match.group(2).startswith("#"):
            break
        else:
            tokens.append((match.group(2), False))
    return tokens


def sample_dictionary() -> Dict[str, dict]:
    """What the sample's dictionary file says, by statement kind."""
    result: Dict[str, dict] = {"variable": {}, "missing": {}, "values": {}, "attribute": {},
                               "fileattribute": {}, "mrset": {}}
    with open(SAMPLE_DICT) as file:
        for line in file:
            tokens = _tokens(line)
            if not tokens:
                continue
            kind, name = tokens[0][0].lower(), tokens[1][0]
            rest = tokens[2:]
            if kind == "variable":
                result["variable"][name] = {rest[i][0]: rest[i + 1][0] for i in range(0, len(rest), 2)}
            elif kind == "missing":
                result["missing"][name] = rest
            elif kind == "values":
                result["values"][name] = [(rest[i], rest[i + 1][0]) for i in range(0, len(rest), 2)]
            elif kind == "attribute":
                result["attribute"].setdefault(name, {})[rest[0][0]] = [t for t, _ in rest[1:]]
            elif kind == "fileattribute":
                result["fileattribute"][name] = [t for t, _ in tokens[2:]]
            elif kind == "mrset":
                words = [t for t, _ in rest]
                at = words.index("members")
                fields = {words[i]: words[i + 1] for i in range(0, at, 2)}
                fields["members"] = words[at + 1:]
                result["mrset"][name] = fields
    return result


class EngineTestCase(unittest.TestCase):
    """Starts the engine once for the class, with an output log in a fresh
    temporary directory, and stops it at the end."""

    tmp: str
    output_log: str

    @classmethod
    def setUpClass(cls) -> None:
        if not ENGINE_HOME or not os.path.exists(os.path.join(ENGINE_HOME, "StartXD")):
            raise unittest.SkipTest("VEXA_ENGINE_HOME does not name an engine home")
        cls.tmp = tempfile.mkdtemp(prefix="vexa-py-")
        cls.output_log = os.path.join(cls.tmp, "output.log")
        vexa.start(ENGINE_HOME, output_log=cls.output_log)

    @classmethod
    def tearDownClass(cls) -> None:
        vexa.stop()
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def tearDown(self) -> None:
        # A failed test must not leave the next one inside its procedure.
        if vexa.is_running() and vexa.has_procedure():
            try:
                vexa._native.library().RemoveCaseCursor()
            finally:
                vexa._native.library().EndProcedure()

    def assertVexaError(self, code: int):
        return _CodeAssertion(self, code)


class _CodeAssertion:
    def __init__(self, case: unittest.TestCase, code: int) -> None:
        self.case, self.code = case, code
        self.exception = None

    def __enter__(self) -> "_CodeAssertion":
        return self

    def __exit__(self, kind, error, trace) -> bool:
        if kind is None:
            self.case.fail(f"no VexaError {self.code} was raised")
        if not issubclass(kind, vexa.VexaError):
            return False
        self.exception = error
        self.case.assertEqual(error.code, self.code, str(error))
        return True
