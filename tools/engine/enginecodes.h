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
};

}  // namespace engine
