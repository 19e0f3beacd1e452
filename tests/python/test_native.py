"""The low-level module against the library it loads, the error messages
against the status codes, and the release of every result over many calls.
The signature table against the header is checked by the build
(tools/check-python-signatures.py)."""
import ctypes
import os
import re
import tempfile
import unittest

from vexa import _native, errors

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def read_without_comments(path):
    with open(path, encoding="utf-8") as file:
        text = file.read()
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    text = re.sub(r"//[^\n]*", "", text)
    return "\n".join(line for line in text.splitlines() if not line.lstrip().startswith("#"))


class SignatureTable(unittest.TestCase):
    def test_the_loaded_library_has_every_function_with_the_mapped_types(self):
        lib = _native.library()
        for name, (result, *arguments) in _native.SIGNATURES.items():
            function = getattr(lib, name)
            self.assertEqual(function.argtypes, [_native.ctypes_type(a) for a in arguments], name)
            self.assertEqual(function.restype, _native.ctypes_type(result, result=True), name)

    def test_caller_owned_results_stay_addresses_so_they_can_be_released(self):
        lib = _native.library()
        for name, (result, *_) in _native.SIGNATURES.items():
            if result == "char*":
                self.assertIs(getattr(lib, name).restype, ctypes.c_void_p, name)
            if result == "const char*":
                self.assertIs(getattr(lib, name).restype, ctypes.c_char_p, name)


class ErrorMessages(unittest.TestCase):
    def codes(self, path, pattern):
        return {int(code) for code in re.findall(pattern, read_without_comments(path))}

    def test_every_library_code_has_its_own_message(self):
        codes = self.codes(os.path.join(ROOT, "backend", "drivex", "common", "include", "runtime",
                                        "statuscodes.h"), r"VEXA_\w+\s*=\s*(\d+)")
        self.assertIn(999988, codes)
        self.assertEqual(codes - {0}, set(errors.LIBRARY_MESSAGES))

    def test_every_engine_code_has_its_own_message(self):
        codes = self.codes(os.path.join(ROOT, "tools", "engine", "enginecodes.h"), r"k\w+\s*=\s*(\d+)")
        self.assertTrue(codes)
        self.assertEqual(codes - set(errors.ENGINE_MESSAGES), set())

    def test_errors_carry_code_call_and_class(self):
        with self.assertRaises(errors.EngineNotRunning) as caught:
            errors.check(17, "GetVariableCount")
        self.assertEqual((caught.exception.code, caught.exception.call), (17, "GetVariableCount"))
        self.assertIn("not running", str(caught.exception))
        self.assertIsInstance(errors.error_for(99104), errors.TransportError)
        self.assertIsInstance(errors.error_for(999988), errors.LanguageError)
        self.assertEqual(errors.message_for(2), os.strerror(2))
        errors.check(0, "anything")
        errors.check_err(ctypes.c_int(0), "anything")
        with self.assertRaises(errors.VexaError):
            errors.check_err(ctypes.c_int(9060), "GetVarCountInDS")


def resident_bytes():
    with open("/proc/self/statm") as file:
        return int(file.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


class ReleasedResults(unittest.TestCase):
    """Each round allocates through every kind of result the library hands
    over; resident memory must not grow with the number of rounds."""

    @classmethod
    def setUpClass(cls):
        cls.lib = _native.library()
        cls.output = tempfile.TemporaryDirectory()
        home = os.environ["VEXA_ENGINE_HOME"]
        arguments = f"-vexahome={home}, -outputlog={cls.output.name}/output.log"
        errors.check(cls.lib.StartVexa(_native.encode(arguments)), "StartVexa")

    @classmethod
    def tearDownClass(cls):
        cls.lib.StopVexa()
        cls.output.cleanup()

    def one_round(self):
        lib = self.lib
        err = ctypes.c_int()
        names = ctypes.POINTER(ctypes.c_char_p)()
        count = ctypes.c_int()
        errors.check(lib.GetVarAttributeNames(4, ctypes.byref(names), ctypes.byref(count)),
                     "GetVarAttributeNames")
        attributes = _native.take_strings(names, count.value, "FreeAttributeNames")
        values = ctypes.POINTER(ctypes.c_double)()
        labels = ctypes.POINTER(ctypes.c_char_p)()
        errors.check(lib.GetNValueLabels(5, ctypes.byref(values), ctypes.byref(labels),
                                         ctypes.byref(count)), "GetNValueLabels")
        numbers = [values[i] for i in range(count.value)]
        lib.FreeNValueLabels(values, labels, count.value)
        sets = _native.take_string_list(lib.GetMultiResponseSetNames(ctypes.byref(err)))
        name = _native.decode(lib.GetVariableName(0, ctypes.byref(err)))
        return attributes, numbers, sets, name

    def test_a_hundred_thousand_calls_leave_resident_memory_flat(self):
        first = self.one_round()
        self.assertEqual(first, (["Source"], [1.0, 2.0, 3.0], ["$sizes", "$codes"], "sepal_length"))
        for _ in range(2500):
            self.one_round()
        before = resident_bytes()
        for _ in range(25000):  # four calls each
            self.one_round()
        grown = resident_bytes() - before
        self.assertEqual(self.one_round(), first)
        # Holding on to one small array per round grows it by over a megabyte.
        self.assertLess(grown, 512 * 1024, f"resident memory grew by {grown} bytes")


if __name__ == "__main__":
    unittest.main()
