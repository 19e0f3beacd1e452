"""The library's exported functions as ctypes functions, one per C function.

Every function of vexaxd_p.h is declared here with its C types spelled as in
the header; `library()` loads the library once and gives each function its
argument and result types. A caller-owned result (a non-const "char*" result
and the "out char*" outputs) comes back as an address that must go back
through the library's release function: `take_string` and friends do that.
"""
from __future__ import annotations

import ctypes
import ctypes.util
import os
import threading
from typing import Callable, Dict, List, Optional, Sequence, Tuple, Union

__all__ = [
    "SIGNATURES",
    "TextConverter",
    "LibraryNotFound",
    "library",
    "ctypes_type",
    "encode",
    "decode",
    "take_string",
    "take_strings",
    "take_string_list",
    "string_array",
    "blocks",
    "require_blocks",
    "api",
]

#: Converts a text for RecordBrowserOutput: (source, length, destination, capacity) -> length.
TextConverter = ctypes.CFUNCTYPE(
    ctypes.c_int, ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(ctypes.c_char), ctypes.c_int)

# C spellings of the header; "out char*" marks a "char**" through which the
# library hands back one string the caller releases with FreeString (or, for
# GetStringValue, the caller's own buffer).
_TYPES: Dict[str, object] = {
    "void": None,
    "int": ctypes.c_int,
    "bool": ctypes.c_bool,
    "double": ctypes.c_double,
    "const char*": ctypes.c_char_p,
    "char*": ctypes.c_char_p,
    "char**": ctypes.POINTER(ctypes.c_char_p),
    "char***": ctypes.POINTER(ctypes.POINTER(ctypes.c_char_p)),
    "const char* const*": ctypes.POINTER(ctypes.c_char_p),
    "out char*": ctypes.POINTER(ctypes.c_void_p),
    "int*": ctypes.POINTER(ctypes.c_int),
    "int**": ctypes.POINTER(ctypes.POINTER(ctypes.c_int)),
    "const int*": ctypes.POINTER(ctypes.c_int),
    "double*": ctypes.POINTER(ctypes.c_double),
    "double**": ctypes.POINTER(ctypes.POINTER(ctypes.c_double)),
    "void*": ctypes.c_void_p,
    "const void*": ctypes.c_void_p,
    "void**": ctypes.POINTER(ctypes.c_void_p),
    "const uint16_t*": ctypes.POINTER(ctypes.c_uint16),
    "VexaTextConverter": TextConverter,
}

# Results that differ from arguments of the same spelling: a "char*" result
# is the caller's and must stay an address, and an "int*" result is an array
# released with FreeIntArray.
_RESULT_TYPES: Dict[str, object] = {
    "char*": ctypes.c_void_p,
    "int*": ctypes.POINTER(ctypes.c_int),
}


def ctypes_type(spelling: str, result: bool = False) -> object:
    """The ctypes type that stands for a C spelling of the signature table."""
    if result and spelling in _RESULT_TYPES:
        return _RESULT_TYPES[spelling]
    return _TYPES[spelling]


#: name -> (result spelling, argument spellings...), in the header's order.
SIGNATURES: Dict[str, Tuple[str, ...]] = {
    "StartVexa": ("int", "const char*"),
    "StopVexa": ("void",),
    "IsBackendReady": ("bool",),
    "IsXDriven": ("bool",),
    "GetStartFailure": ("const char*",),
    "InterruptVexa": ("int",),
    "SetMode": ("int", "int"),
    "SetXDriveMode": ("int", "int"),
    "GetXDriveMode": ("int", "int*", "int*"),
    "StopReceiveXdApiThread": ("int",),
    "IsUTF8mode": ("int",),
    "GetNestDepth": ("int", "int*"),
    "SetXNameAndSHome": ("void", "const char*", "const char*"),
    "SetVexaRunning": ("int", "bool"),
    "SetRTempFolderToVEXA": ("int", "const char*"),
    "GetRTempFolderToVEXA": ("const char*",),
    "FreeString": ("int", "char*"),
    "FreeDoubleArray": ("int", "double*", "int"),
    "FreeStringArray": ("int", "char**", "int"),
    "FreeAttributes": ("int", "char**", "int"),
    "FreeAttributeNames": ("int", "char**", "int"),
    "FreeNValueLabels": ("int", "double*", "char**", "int"),
    "FreeCValueLabels": ("int", "char**", "char**", "int"),
    "GetStringListLength": ("int", "void*"),
    "GetStringFromList": ("const char*", "void*", "int"),
    "RemoveStringList": ("void", "void*"),
    "Submit": ("int", "const char*", "int"),
    "QueueCommandPart": ("int", "const char*", "int"),
    "PostVexaOutput": ("int", "const char*", "int"),
    "GetVexaOutputWidth": ("int", "int*"),
    "SetOutputLanguage": ("void", "const char*", "int*"),
    "GetOutputLanguage": ("const char*", "int*"),
    "GetGraphic": ("void", "const char*"),
    "SetGraphicsLabel": ("int", "const char*", "const char*"),
    "SetRecordBrowserOutput": ("int", "const char*", "bool"),
    "RecordBrowserOutput": ("void", "const char*", "int", "VexaTextConverter"),
    "GetVariableCount": ("int", "int*"),
    "GetRowCount": ("int", "int*"),
    "GetVariableName": ("const char*", "int", "int*"),
    "GetVariableLabel": ("const char*", "int", "int*"),
    "GetVariableType": ("int", "int", "int*"),
    "GetVariableFormat": ("const char*", "int", "int*"),
    "GetVariableMeasurementLevel": ("int", "int", "int*"),
    "GetVariableRole": ("int", "int", "int*"),
    "GetVariableFormatType": ("int", "int", "int*", "int*", "int*"),
    "GetVarNMissingValues": ("int", "int", "int*", "double*", "double*", "double*"),
    "GetVarCMissingValues": ("int", "int", "int*", "char*", "char*", "char*"),
    "GetNValueLabels": ("int", "int", "double**", "char***", "int*"),
    "GetCValueLabels": ("int", "int", "char***", "char***", "int*"),
    "GetVarAttributeNames": ("int", "int", "char***", "int*"),
    "GetVarAttributes": ("int", "int", "const char*", "char***", "int*"),
    "GetDataFileAttributeNames": ("int", "char***", "int*"),
    "GetDataFileAttributes": ("int", "const char*", "char***", "int*"),
    "GetMultiResponseSetNames": ("void*", "int*"),
    "GetMultiResponseSet": (
        "void", "const char*", "out char*", "int*", "out char*", "int*", "void**", "int*"),
    "GetWeightVar": ("const char*", "int*"),
    "GetSplitVariableNames": ("void*", "int*"),
    "GetVariableCountInProcDS": ("int", "int*"),
    "GetRowCountInProcDS": ("int", "int*"),
    "GetVariableNameInProcDS": ("const char*", "int", "int*"),
    "GetVariableLabelInProcDS": ("const char*", "int", "int*"),
    "GetVariableFormatInProcDS": ("const char*", "int", "int*"),
    "GetVariableTypeInProcDS": ("int", "int", "int*"),
    "GetVariableMeasurementLevelInProcDS": ("int", "int", "int*"),
    "GetVariableRoleInProcDS": ("int", "int", "int*"),
    "GetVariableFormatTypeInProcDS": ("int", "int", "int*", "int*", "int*"),
    "GetVarNMissingValuesInProcDS": ("int", "int", "int*", "double*", "double*", "double*"),
    "GetVarCMissingValuesInProcDS": ("int", "int", "int*", "char*", "char*", "char*"),
    "GetVarAttributeNamesInProcDS": ("int", "int", "char***", "int*"),
    "GetVarAttributesInProcDS": ("int", "int", "const char*", "char***", "int*"),
    "GetDataFileAttributeNamesInProcDS": ("int", "char***", "int*"),
    "GetDataFileAttributesInProcDS": ("int", "const char*", "char***", "int*"),
    "GetMultiResponseSetNamesInProcDS": ("void*", "int*"),
    "GetMultiResponseSetInProcDS": (
        "void", "const char*", "out char*", "int*", "out char*", "int*", "void**", "int*"),
    "StartProcedure": ("int", "const char*", "const char*"),
    "EndProcedure": ("int",),
    "HasProcedure": ("int",),
    "SplitChange": ("int", "const char*"),
    "StartPivotTable": ("int", "const char*", "const char*", "const char*", "bool"),
    "HidePivotTableTitle": ("int", "const char*", "const char*", "const char*", "bool"),
    "PivotTableCaption": (
        "int", "const char*", "const char*", "const char*", "bool", "const char*"),
    "AddCaptionFootnotes": (
        "int", "const char*", "const char*", "const char*", "bool", "const char*", "const char*"),
    "MinDataColumnWidth": ("int", "const char*", "const char*", "const char*", "bool", "int"),
    "MaxDataColumnWidth": ("int", "const char*", "const char*", "const char*", "bool", "int"),
    "AddOutlineFootnotes": (
        "int", "const char*", "const char*", "const char*", "const char*", "bool"),
    "AddTitleFootnotes": (
        "int", "const char*", "const char*", "const char*", "const char*", "bool"),
    "AddProcFootnotes": ("int", "const char*"),
    "AddDimension": (
        "int", "const char*", "const char*", "const char*", "bool", "const char*", "int", "int", "bool", "bool"),
    "AddDimFootnotes": (
        "int", "const char*", "const char*", "const char*", "bool", "const char*", "int", "int", "bool", "bool", "const char*"),
    "AddNumberCategory": (
        "int", "const char*", "const char*", "const char*", "bool", "const char*", "int", "int", "bool", "bool", "double"),
    "AddStringCategory": (
        "int", "const char*", "const char*", "const char*", "bool", "const char*", "int", "int", "bool", "bool", "const char*"),
    "AddVarNameCategory": (
        "int", "const char*", "const char*", "const char*", "bool", "const char*", "int", "int", "bool", "bool", "int"),
    "AddVarValueDoubleCategory": (
        "int", "const char*", "const char*", "const char*", "bool", "const char*", "int", "int", "bool", "bool", "int", "double"),
    "AddVarValueStringCategory": (
        "int", "const char*", "const char*", "const char*", "bool", "const char*", "int", "int", "bool", "bool", "int", "const char*"),
    "AddCategoryFootnotes": (
        "int", "const char*", "const char*", "const char*", "bool", "const char*", "int", "int", "bool", "bool", "const char*"),
    "SetNumberCell": (
        "int", "const char*", "const char*", "const char*", "bool", "const char*", "int", "int", "bool", "bool", "double"),
    "SetStringCell": (
        "int", "const char*", "const char*", "const char*", "bool", "const char*", "int", "int", "bool", "bool", "const char*"),
    "SetVarNameCell": (
        "int", "const char*", "const char*", "const char*", "bool", "const char*", "int", "int", "bool", "bool", "int"),
    "SetVarValueDoubleCell": (
        "int", "const char*", "const char*", "const char*", "bool", "const char*", "int", "int", "bool", "bool", "int", "double"),
    "SetVarValueStringCell": (
        "int", "const char*", "const char*", "const char*", "bool", "const char*", "int", "int", "bool", "bool", "int", "const char*"),
    "SetDateCell": (
        "int", "const char*", "const char*", "const char*", "bool", "const char*", "int", "int", "bool", "bool", "const char*"),
    "AddCellFootnotes": (
        "int", "const char*", "const char*", "const char*", "bool", "const char*", "int", "int", "bool", "bool", "const char*"),
    "SetFormatSpecCoefficient": ("int",),
    "SetFormatSpecCoefficientSE": ("int",),
    "SetFormatSpecCoefficientVar": ("int",),
    "SetFormatSpecCorrelation": ("int",),
    "SetFormatSpecGeneralStat": ("int",),
    "SetFormatSpecCount": ("int",),
    "SetFormatSpecPercent": ("int",),
    "SetFormatSpecPercentNoSign": ("int",),
    "SetFormatSpecProportion": ("int",),
    "SetFormatSpecSignificance": ("int",),
    "SetFormatSpecResidual": ("int",),
    "SetFormatSpecMean": ("int", "int"),
    "SetFormatSpecVariable": ("int", "int"),
    "SetFormatSpecStdDev": ("int", "int"),
    "SetFormatSpecDifference": ("int", "int"),
    "SetFormatSpecSum": ("int", "int"),
    "AddTextBlock": ("int", "const char*", "const char*", "const char*", "int"),
    "MakeCaseCursor": ("int", "const char*"),
    "NextCase": ("int",),
    "GetNumericValue": ("int", "int", "double*", "int*"),
    "GetStringValue": ("int", "int", "out char*", "int", "int*"),
    "GetCursorPosition": ("int", "int*"),
    "HasCursor": ("int", "int*"),
    "IsEndSplit": ("int", "int*"),
    "IsNeedCache": ("int", "int*"),
    "GetSplitEndIndex": ("int*", "int*", "int*"),
    "FreeIntArray": ("int", "int*", "int"),
    "RemoveCaseCursor": ("int",),
    "ResetDataPass": ("int",),
    "SetVarNameAndType": ("int", "const char* const*", "const int*", "int"),
    "SetOneVarNameAndType": ("int", "const char*", "int"),
    "AllocNewVarsBuffer": ("int", "int"),
    "SetVarLabel": ("int", "const char*", "const char*"),
    "SetVarCValueLabel": ("int", "const char*", "const char*", "const char*"),
    "SetVarNValueLabel": ("int", "const char*", "double", "const char*"),
    "SetVarCMissingValues": (
        "int", "const char*", "int", "const char*", "const char*", "const char*"),
    "SetVarNMissingValues": ("int", "const char*", "int", "double", "double", "double"),
    "SetVarMeasureLevel": ("int", "const char*", "int"),
    "SetVarRole": ("int", "const char*", "int"),
    "SetVarAlignment": ("int", "const char*", "int"),
    "SetVarFormat": ("int", "const char*", "int", "int", "int"),
    "SetVarAttributes": ("int", "const char*", "const char*", "const char*", "int"),
    "CommitHeader": ("int",),
    "EndChanges": ("int",),
    "SetValueNumeric": ("int", "const char*", "double"),
    "SetValueChar": ("int", "const char*", "const char*", "int"),
    "CommitCaseRecord": ("int",),
    "CommitNewCase": ("int",),
    "CommitManyCases": ("int", "const char* const*", "const int*", "void*", "int", "int", "int"),
    "CreateDataset": ("int", "const char*", "bool", "bool"),
    "CopyDataset": ("int", "const char*", "const char*"),
    "CloseDataset": ("int", "const char*"),
    "SetDatasetName": ("int", "const char*", "const char*"),
    "SetActive": ("int", "const char*"),
    "GetActive": ("const char*", "int*"),
    "GetNewDatasetName": ("int", "char*"),
    "GetVexaDatasets": ("int", "char***", "int*"),
    "GetOpenedVexaDatasets": ("int", "char***", "int*"),
    "SetCacheInDS": ("int", "const char*", "bool"),
    "SaveFileInDS": ("int",),
    "InsertCase": ("int", "const char*", "int"),
    "DeleteCase": ("int", "const char*", "int"),
    "InsertVariable": ("int", "const char*", "int", "const char*", "int"),
    "DeleteVariable": ("int", "const char*", "int"),
    "SetVarTypeInDS": ("int", "const char*", "int", "int"),
    "SetNCellValue": ("int", "const char*", "int", "int", "double"),
    "SetCCellValue": ("int", "const char*", "int", "int", "const char*"),
    "CommitDataSet": ("int",),
    "GetNCellValue": ("double", "const char*", "int", "int", "int*", "int*"),
    "GetCCellValue": ("const char*", "const char*", "int", "int", "int*", "int*"),
    "GetCaseLength": ("int", "const char*", "int*"),
    "GetVarObsIndex": ("int", "const char*", "int", "int*"),
    "GetCaseValue": ("void", "const char*", "int", "bool", "int*", "int*"),
    "SetCaseValue": ("int", "const char*", "int", "bool", "const void*", "int"),
    "SetCasePartValue": ("int", "const char*", "int", "const int*", "bool", "int"),
    "GetNCellValueFromCache": ("double", "const char*", "int", "int*", "int*"),
    "GetCCellValueFromCache": ("char*", "const char*", "int", "int*"),
    "SetNCellValueFromCache": ("int", "const char*", "int", "double"),
    "SetCCellValueFromCache": ("int", "const char*", "int", "const char*"),
    "GetVarInfo": ("void", "const char*", "int**", "int*"),
    "SetVarNameInDS": ("int", "const char*", "int", "const char*"),
    "SetVarLabelInDS": ("int", "const char*", "int", "const char*"),
    "SetVarRoleInDS": ("int", "const char*", "int", "int"),
    "SetVarFormatInDS": ("int", "const char*", "int", "int", "int", "int"),
    "SetVarAlignmentInDS": ("int", "const char*", "int", "int"),
    "SetVarMeasurementLevelInDS": ("int", "const char*", "int", "const char*"),
    "SetVarColumnWidthInDS": ("int", "const char*", "int", "int"),
    "SetVarNMissingValuesInDS": ("int", "const char*", "int", "int", "double", "double", "double"),
    "SetVarCMissingValuesInDS": (
        "int", "const char*", "int", "int", "const char*", "const char*", "const char*"),
    "SetVarNValueLabelInDS": ("int", "const char*", "int", "double", "const char*"),
    "SetVarCValueLabelInDS": ("int", "const char*", "int", "const char*", "const char*"),
    "DelVarValueLabelInDS": ("int", "const char*", "int"),
    "DelVarNValueLabelInDS": ("int", "const char*", "int", "double"),
    "DelVarCValueLabelInDS": ("int", "const char*", "int", "const char*"),
    "SetVarAttributesInDS": (
        "int", "const char*", "int", "const char*", "const char* const*", "int"),
    "DelVarAttributesInDS": ("int", "const char*", "int", "const char*"),
    "SetDataFileAttributesInDS": (
        "int", "const char*", "const char*", "const char* const*", "int"),
    "DelDataFileAttributesInDS": ("int", "const char*", "const char*"),
    "SetMultiResponseSetInDS": (
        "void", "const char*", "const char*", "const char*", "int", "const char*", "const char* const*", "int", "int*"),
    "DelMultiResponseSetInDS": ("int", "const char*", "const char*"),
    "GetVarCountInDS": ("int", "const char*", "int*"),
    "GetCaseCountInDS": ("int", "const char*", "int*"),
    "GetVarTypeInDS": ("int", "const char*", "int", "int*"),
    "GetVarRoleInDS": ("int", "const char*", "int", "int*"),
    "GetVarAlignmentInDS": ("int", "const char*", "int", "int*"),
    "GetVarColumnWidthInDS": ("int", "const char*", "int", "int*"),
    "GetVarNameInDS": ("const char*", "const char*", "int", "int*"),
    "GetVarLabelInDS": ("const char*", "const char*", "int", "int*"),
    "GetVarFormatInDS": ("const char*", "const char*", "int", "int*"),
    "GetVarMeasurementLevelInDS": ("const char*", "const char*", "int", "int*"),
    "GetVarNMissingValuesInDS": (
        "int", "const char*", "int", "int*", "double*", "double*", "double*"),
    "GetVarCMissingValuesInDS": ("int", "const char*", "int", "int*", "char*", "char*", "char*"),
    "GetVarAttributesNameInDS": ("int", "const char*", "int", "char***", "int*"),
    "GetVarAttributesInDS": ("int", "const char*", "int", "const char*", "char***", "int*"),
    "GetDataFileAttributeNamesInDS": ("int", "const char*", "char***", "int*"),
    "GetDataFileAttributesInDS": ("int", "const char*", "const char*", "char***", "int*"),
    "GetVarNValueLabelInDS": ("int", "const char*", "int", "double**", "char***", "int*"),
    "GetVarCValueLabelInDS": ("int", "const char*", "int", "char***", "char***", "int*"),
    "GetMultiResponseSetNamesInDS": ("void*", "const char*", "int*"),
    "GetMultiResponseSetInDS": (
        "void", "const char*", "const char*", "out char*", "int*", "out char*", "int*", "void**", "int*"),
    "StartDataStep": ("int",),
    "EndDataStep": ("int",),
    "FetchDatastep": ("void", "const char*", "int", "int", "int*"),
    "GetDatastepDatasets": ("int", "char***", "int*"),
    "GetNCellValueOptimize": ("double", "const char*", "int", "int", "int*", "int*"),
    "GetCCellValueOptimize": ("char*", "const char*", "int", "int", "int*", "int*"),
    "GetRowList": ("void", "const char*", "int", "int", "int*", "int*", "int*", "int*"),
    "GetNCellValueCache": ("double", "const char*", "int", "int", "int*", "int*"),
    "GetCCellValueCache": ("char*", "const char*", "int", "int", "int*", "int*"),
    "GetNCellValueBatch": ("double", "const char*", "int", "int", "int*", "int*", "const void*"),
    "GetCCellValueBatch": ("char*", "const char*", "int", "int", "int*", "int*", "const void*"),
    "GetVarTypeInDSCache": ("void", "int*", "int", "int*"),
    "ClearDatastepBatch": ("void",),
    "TransportData": ("int", "const char*", "const char*", "bool"),
    "SaveDataToTempFile": ("int", "const char*", "const int*", "int"),
    "GetDataFromTempFile": ("int", "const char*", "int", "int"),
    "GetRowCountInTempFile": ("int", "int*"),
    "GetSystemMissingValue": ("int", "double*"),
    "GetVEXALowHigh": ("int", "double*", "double*"),
    "ValidateVarName": ("int", "const char*"),
    "CreateXPathDictionary": ("int", "const char*"),
    "RemoveXPathHandle": ("int", "const char*"),
    "EvaluateXPath": ("void*", "const char*", "const char*", "const char*", "int*"),
    "GetXmlUtf16": ("const uint16_t*", "const char*", "int*"),
    "GetImage": ("char*", "const char*", "const char*", "int*", "out char*", "int*"),
    "GetSetting": ("const char*", "const char*", "int*", "const char*"),
    "GetOMSTagList": ("void*", "int*"),
    "GetHandleList": ("void*", "int*"),
    "GetFileHandles": ("void*", "int*"),
    "TransCode": ("const char*", "const char*", "int*"),
    "GetVEXALocale": ("const char*", "int*"),
    "GetCLocale": ("int", "out char*"),
    "GetHostAppNameAndVersion": ("int", "out char*", "out char*"),
    "SetHostAppNameAndVersion": ("int", "const char*", "const char*"),
    "GetHostAppCopyright": ("int", "out char*"),
    "SetHostAppCopyright": ("int", "const char*"),
    "GetPlexorServerMode": ("int",),
    "SetPlexorServerMode": ("void", "int"),
}


class LibraryNotFound(OSError):
    """libvexaxd_p could not be found or loaded."""


_lock = threading.Lock()
_library: Optional[ctypes.CDLL] = None

try:
    from . import _blocks as _compiled
except ImportError:  # a source tree without the built part: the ctypes paths serve
    _compiled = None

# The functions the compiled part calls, handed to it by address so that it
# reaches the same copy of the library as everything else here.
_BLOCK_FUNCTIONS = ("NextCase", "GetNumericValue", "GetStringValue", "SetValueNumeric",
                    "SetValueChar", "CommitCaseRecord", "CommitManyCases",
                    "GetNCellValueOptimize", "GetCCellValueOptimize", "FreeString")


def _declare(lib: ctypes.CDLL) -> ctypes.CDLL:
    for name, (result, *arguments) in SIGNATURES.items():
        function = getattr(lib, name)
        function.restype = ctypes_type(result, result=True)
        function.argtypes = [ctypes_type(argument) for argument in arguments]
    return lib


def _already_loaded() -> Optional[ctypes.CDLL]:
    # A language process (or an engine hosting the language) has the library
    # linked in already; a second copy would be a second, unconnected state.
    process = ctypes.CDLL(None)
    try:
        process.StartVexa
        process.GetVariableCount
    except AttributeError:
        return None
    return process


def _locate() -> ctypes.CDLL:
    loaded = _already_loaded()
    if loaded is not None:
        return loaded
    candidates: List[str] = []
    if os.environ.get("VEXA_LIBRARY"):
        candidates.append(os.environ["VEXA_LIBRARY"])
    candidates += _installed_candidates()
    found = ctypes.util.find_library("vexaxd_p")
    if found:
        candidates.append(found)
    candidates += ["libvexaxd_p.so.1", "libvexaxd_p.so"]
    failures = []
    for candidate in candidates:
        try:
            return ctypes.CDLL(candidate)
        except OSError as error:
            failures.append(f"{candidate}: {error}")
    raise LibraryNotFound(
        "libvexaxd_p was not found; set VEXA_LIBRARY to its path (" + "; ".join(failures) + ")")


def _installed_candidates() -> List[str]:
    # pip records where pkg-config placed the installed library when it built
    # the package; the usual prefixes follow for a library installed later.
    candidates = []
    try:
        from ._installed import LIBRARY_DIR
        candidates.append(os.path.join(LIBRARY_DIR, "libvexaxd_p.so.1"))
    except ImportError:
        pass
    for prefix in ("/usr/local/lib", "/usr/lib"):
        candidates.append(os.path.join(prefix, "libvexaxd_p.so.1"))
    return [c for c in candidates if os.path.exists(c)]


def _bind_compiled(lib: ctypes.CDLL) -> None:
    if _compiled is not None:
        _compiled.bind({name: ctypes.cast(getattr(lib, name), ctypes.c_void_p).value
                        for name in _BLOCK_FUNCTIONS})


def library() -> ctypes.CDLL:
    """The loaded library with every function declared; loaded on first use."""
    global _library
    with _lock:
        if _library is None:
            loaded = _declare(_locate())
            _bind_compiled(loaded)
            _library = loaded
        return _library


# Whether an engine was seen running; a call that needs one asks the library
# (a local answer while none runs) until it has.
_engine_seen = False


class _Refusing:
    """Stands for the library while no engine runs: naming any function
    raises EngineNotRunning with that function's name."""

    def __getattr__(self, name: str):
        from .errors import not_running
        raise not_running(name)


def api():
    """The library, for a call that needs the engine; while none runs, an
    object whose functions raise EngineNotRunning at once, without waiting on
    a pipe."""
    global _engine_seen
    lib = library()
    if not _engine_seen:
        if not lib.IsBackendReady():
            return _Refusing()
        _engine_seen = True
    return lib


def engine_still_running() -> bool:
    """Asks again after a failure that may mean the engine is gone."""
    global _engine_seen
    _engine_seen = bool(library().IsBackendReady())
    return _engine_seen


def engine_stopped() -> None:
    global _engine_seen
    _engine_seen = False


def blocks():
    """The compiled part bound to the library, or None where it was not built."""
    if _compiled is None:
        return None
    library()
    return _compiled


def require_blocks():
    """The compiled part; an ImportError that says how to get it when missing."""
    compiled = blocks()
    if compiled is None:
        raise ImportError("vexa._blocks, the package's compiled part, is missing: install the "
                          "package with 'pip install languages/python' (needs python3-dev), or "
                          "use the engine home's site-packages of a build")
    return compiled


def encode(text: Union[str, bytes, None]) -> bytes:
    """Text for a "const char*" argument; None becomes the empty text."""
    if text is None:
        return b""
    if isinstance(text, bytes):
        return text
    return str(text).encode("utf-8")


def decode(raw: Optional[bytes]) -> Optional[str]:
    """A returned text as str; None stays None."""
    if raw is None:
        return None
    return raw.decode("utf-8", errors="replace")


def take_string(address: Union[ctypes.c_void_p, int, None]) -> Optional[str]:
    """Copies a caller-owned string and releases it with FreeString."""
    if isinstance(address, ctypes.c_void_p):
        address = address.value
    if not address:
        return None
    try:
        return decode(ctypes.string_at(address))
    finally:
        library().FreeString(ctypes.cast(address, ctypes.c_char_p))


def take_strings(array: "ctypes._Pointer", count: int, free_name: str = "FreeStringArray") -> List[str]:
    """Copies a "char***" result's array of `count` strings and releases it
    with the named release function (which takes the array and the count)."""
    if not array:
        return []
    try:
        return [decode(array[i]) or "" for i in range(count)]
    finally:
        getattr(library(), free_name)(array, count)


def take_string_list(handle: Optional[int]) -> List[str]:
    """Copies an opaque string list and releases it with RemoveStringList."""
    if not handle:
        return []
    lib = library()
    try:
        return [decode(lib.GetStringFromList(handle, i)) or ""
                for i in range(lib.GetStringListLength(handle))]
    finally:
        lib.RemoveStringList(handle)


def string_array(texts: Sequence[Union[str, bytes]]) -> "ctypes.Array[ctypes.c_char_p]":
    """A "const char* const*" argument; the array keeps its texts alive."""
    array = (ctypes.c_char_p * max(len(texts), 1))()
    for i, text in enumerate(texts):
        array[i] = encode(text)
    return array
