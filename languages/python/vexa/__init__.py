"""Python access to the statistics engine through libvexaxd_p.

    import vexa
    with vexa.session(output_log="/tmp/out.log"):
        for variable in vexa.variables():
            print(variable.name, variable.label)
        with vexa.Procedure("Pass"), vexa.ReadCursor() as cursor:
            for case in cursor:
                ...
"""
from __future__ import annotations

from . import data, xpath
from .cursors import ReadCursor, WriteCursor, system_missing_value
from .datasets import (ACTIVE, Dataset, DataStep, active_dataset_name, dataset_names,
                       new_dataset_name, opened_dataset_names)
from .dictionary import (ALIGNMENTS, MEASUREMENT_LEVELS, ROLES, MissingValues, MultiResponseSet,
                         Variable, case_count, data_file_attributes, multi_response_set,
                         multi_response_sets, split_variables, variable, variable_count,
                         variable_index, variable_names, variables, weight_variable)
from .engine import (Session, build_arguments, is_driven, is_running, nest_depth, post_output,
                     queue_command_part, session, start, stop, submit)
from .errors import CasesUsedUp, EngineNotRunning, ProgramBlockError, VexaError
from .procedures import (Date, Dimension, PivotTable, Procedure, VariableName, VariableValue,
                         has_procedure, procedure_footnote, split_change, text_block)

__version__ = "1.0.0"

__all__ = [
    "ACTIVE", "ALIGNMENTS", "MEASUREMENT_LEVELS", "ROLES",
    "VexaError", "EngineNotRunning", "ProgramBlockError", "CasesUsedUp",
    "Session", "session", "start", "stop", "is_running", "is_driven", "nest_depth", "submit",
    "queue_command_part", "post_output", "build_arguments",
    "Variable", "MissingValues", "MultiResponseSet", "variables", "variable", "variable_count",
    "variable_index", "variable_names", "case_count", "multi_response_sets",
    "multi_response_set", "weight_variable", "split_variables", "data_file_attributes",
    "ReadCursor", "WriteCursor", "system_missing_value",
    "Procedure", "PivotTable", "Dimension", "VariableName", "VariableValue", "Date",
    "has_procedure", "text_block", "procedure_footnote", "split_change",
    "Dataset", "DataStep", "dataset_names", "opened_dataset_names", "active_dataset_name",
    "new_dataset_name",
    "xpath", "data",
]
