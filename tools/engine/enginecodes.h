// Error codes of the reference engine's own, carried in a reply's error code.
// They sit apart from the library's codes (the 99100 range) and from errno.
#pragma once

namespace engine {

enum EngineCode : int {
    // The request's command action is not one this engine answers.
    kUnknownCommand = 9001,
    // The engine's data file or its dictionary file could not be read; sent
    // in the ready message.
    kDataFileUnreadable = 9002,
    // No variable at the requested position, or no multiple response set of
    // the requested name.
    kNoSuchItem = 9003,
    // A procedure-dataset question, or EndProcedure, while no procedure is open.
    kNoProcedureOpen = 9004,
    // StartProcedure while a procedure is open.
    kProcedureAlreadyOpen = 9005,
    // A SET command with a value it does not take (a width outside 40..255,
    // UNICODE other than ON or OFF, an empty language).
    kBadSetValue = 9006,
    // The output log named by -outputlog= cannot be opened; sent in the ready
    // message.
    kOutputLogUnwritable = 9007,
    // A pivot table with this table key already exists in the procedure.
    kPivotTableExists = 9008,
    // No pivot table with this table key in the open procedure.
    kNoSuchPivotTable = 9009,
    // AddDimension with a dimension key the table already has.
    kDimensionExists = 9010,
    // No dimension with this dimension key in the table.
    kNoSuchDimension = 9011,
    // A dimension place other than 0 (row), 1 (column) or 2 (layer).
    kBadDimensionPlace = 9012,
    // A cell, category footnote or cell footnote while some dimension of the
    // table has no current category (or the table has no dimension).
    kNoCurrentCategory = 9013,
    // AddCellFootnotes where no cell has been set.
    kNoSuchCell = 9014,
    // A negative column width, or a minimum above the maximum.
    kBadColumnWidth = 9015,
    // AddDimension on a table that already has cells.
    kTableHasCells = 9016,
    // The file named by -outputxml= or -outputhtml= cannot be written; sent in
    // the ready message.
    kOutputDocumentUnwritable = 9017,
    // SAVE /TYPE=CSV could not write the data file or its dictionary file,
    // or a value that would not read back.
    kDataFileUnwritable = 9090,
    // GET DATA or SAVE with /TYPE=CSV and no usable /FILE, or an unknown
    // subcommand.
    kBadDataFileCommand = 9091,
    // No XPath document is kept under this handle.
    kNoSuchHandle = 9020,
    // An empty handle name: a document must be kept under a name.
    kEmptyHandle = 9021,
    // Text to keep under a handle is not well-formed XML.
    kMalformedXml = 9022,
    // An XPath expression (or its context expression) does not compile or
    // fails while it is evaluated.
    kBadXPath = 9023,
    // The context expression of EvaluateXPath gives no node-set.
    kXPathContextNotNodes = 9024,
    // The document has no image element of this name or path.
    kNoSuchImage = 9025,
    // The image's file is missing, not a regular file, unreadable or too
    // large for a reply.
    kImageUnreadable = 9026,
    // GetSetting for a name the engine does not know, without a default.
    kUnknownSetting = 9027,
    // SetPlexorServerMode with a mode other than 0 or 1.
    kBadServerMode = 9028,
    // A FILE HANDLE command without a name or without its /NAME path.
    kBadFileHandle = 9029,
    // A case-data command that needs a case cursor of the open procedure
    // while there is none.
    kNoCaseCursor = 9040,
    // A write-side command on a read cursor, or CommitCaseRecord on a cursor
    // that only appends.
    kReadOnlyCursor = 9041,
    // The case size a request gives is not that of the cursor's layout, or a
    // block of cases is not its case count times the layout's case size.
    kCaseSizeMismatch = 9042,
    // A value read or CommitCaseRecord while the position is on no case.
    kNoCurrentCase = 9043,
    // A value or a setter of the other type than the variable's.
    kWrongValueType = 9044,
    // A count or length in a request that is negative, zero where cases or
    // variables are needed, or that does not match the values sent with it.
    kBadCount = 9045,
    // A new variable's name that ValidateVarName does not call valid.
    kBadNewVariableName = 9046,
    // A new variable's name that an existing or another new variable has.
    kVariableNameTaken = 9047,
    // A new variable's type outside 0..32767.
    kBadNewVariableType = 9048,
    // Case values while new variables wait for CommitHeader.
    kHeaderNotFixed = 9049,
    // A new variable declared after CommitHeader or after values were given.
    kHeaderFixed = 9050,
    // A variable name the command may not touch: setters and
    // CommitCaseRecord take new variables only; new cases take those and
    // the dataset's.
    kNoSuchWriteVariable = 9051,
    // Missing values with an unknown format, fewer values than the format
    // needs, a range whose low end is above its high end, or a text longer
    // than 8 bytes.
    kBadMissingValues = 9052,
    // A measurement level, role, alignment, print format or attribute
    // position the engine does not take.
    kBadPropertyCode = 9053,
    // A variable named twice in one block of new cases.
    kRepeatedVariable = 9054,
    // No dataset of this name ("*" names the active one).
    kNoSuchDataset = 9060,
    // A new dataset name that another dataset already has.
    kDatasetNameTaken = 9061,
    // An empty dataset name, or "*", where a new name is needed.
    kBadDatasetName = 9062,
    // A change of the active dataset's variables or cases, a new active
    // dataset or new data for it, while a procedure reads it.
    kActiveDatasetInUse = 9063,
    // CloseDataset on the active dataset: the engine always has one.
    kActiveDatasetNotClosable = 9064,
    // A row outside the dataset's cases (the end itself where a new case may
    // go).
    kNoSuchRow = 9065,
    // StartDataStep while a data step or a procedure is open.
    kDataStepOpen = 9066,
    // EndDataStep without a data step; committed cells outside a data step
    // and a procedure.
    kNoDataStep = 9067,
    // Case data whose length is not the dataset's case size, or a part list
    // whose obs index and length pairs do not name the dataset's variables.
    kBadCaseData = 9068,
    // A temp file name that is empty, "." or "..", or holds a "/".
    kBadTempFileName = 9069,
    // The temp file cannot be written.
    kTempFileUnwritable = 9070,
    // The temp file is missing, unreadable or not in the temp-file format.
    kTempFileUnreadable = 9071,
    // Rows asked of a temp file that it does not have (a negative first row,
    // a first row beyond its rows, a negative count other than -1).
    kNoSuchTempFileRows = 9072,
    // A GET DATA or SAVE command of the binary stream type without a usable
    // /SOCKET port, or naming a variable the data does not have.
    kBadTransportCommand = 9073,
    // The socket of a bulk transfer could not be connected, or broke, or
    // timed out.
    kTransportFailed = 9074,
    // The binary stream read from the socket is not in the stream format.
    kMalformedStream = 9075,
    // Submitted text with "BEGIN PROGRAM <language>." but without its
    // "END PROGRAM." line; nothing of it ran.
    kIncompleteProgramBlock = 9080,
    // A program block in an engine that hosts no languages.
    kNoLanguageHosting = 9081,
    // A JAVAEXTENSION block that is not one command-name line followed by at
    // most one line of text (blank lines aside), or whose command name holds
    // anything but letters, digits, "_", "-" and ".".
    kBadJavaBlock = 9082,
    // The Java program ended with an exit status other than 0.
    kJavaProgramFailed = 9083,
    // A JAVAEXTENSION block submitted while another one runs: the extension's
    // socket and message are the process's one.
    kJavaBlockRunning = 9084,
    // The client interrupted the block (InterruptVexa) while it ran; what the
    // block did before stays, the language process serves the next block.
    kBlockInterrupted = 9085,
    // Submitted syntax: a command the engine does not understand.
    kUnknownSyntaxCommand = 9100,
    // Submitted syntax names no variable where one is needed, or one the
    // active dataset does not have.
    kUnknownVariable = 9101,
    // Submitted syntax with a keyword, value or expression the command does
    // not take.
    kBadSyntax = 9102,
    // A string variable where a command needs a numeric one.
    kWrongVariableType = 9103,
    // The stop command from a caller other than the program that started the
    // engine (a language the engine runs); the engine keeps serving.
    kStopNotAllowed = 9104,
};

}  // namespace engine
