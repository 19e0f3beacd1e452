# R functions over the library's exported calls. A failed call raises a
# condition of class "vexa_error" whose `code` is the library's or the
# engine's status and whose `call_name` names the library call.

.levels <- c("nominal", "ordinal", "scale")

#' A condition for a failed library call.
vexa_error <- function(code, call_name) {
    structure(class = c("vexa_error", "error", "condition"),
              list(message = sprintf("%s failed with code %d", call_name, code),
                   call = NULL, code = code, call_name = call_name))
}

.check <- function(status, call_name) {
    if (!identical(status, 0L)) stop(vexa_error(status, call_name))
    invisible(0L)
}

.value <- function(answer, call_name) {
    .check(answer[[1L]], call_name)
    answer[[2L]]
}

.text <- function(value, what) {
    if (!is.character(value) || length(value) != 1L || is.na(value)) {
        stop(sprintf("%s must be one text", what), call. = FALSE)
    }
    enc2utf8(value)
}

.path_option <- function(option, value) {
    if (is.null(value)) return(NULL)
    value <- .text(value, option)
    if (!nzchar(value) || grepl("[[:space:]]", value)) {
        stop(sprintf("%s: the path must be non-empty and hold no blanks", option), call. = FALSE)
    }
    sprintf("-%s=%s", option, value)
}

#' Starts the engine (nothing happens when one runs already).
vexa_start <- function(engine_home = Sys.getenv("VEXA_ENGINE_HOME"), output_log = NULL,
                       output_html = NULL, data_file = NULL, extra = character()) {
    parts <- character()
    if (nzchar(engine_home)) {
        if (grepl(",", engine_home, fixed = TRUE)) stop("the engine home must hold no comma", call. = FALSE)
        parts <- c(parts, sprintf("-vexahome=%s,", engine_home))
    }
    parts <- c(parts, .path_option("outputlog", output_log), .path_option("outputhtml", output_html),
               .path_option("datafile", data_file), as.character(extra))
    if (vexa_is_running()) return(invisible(0L))
    .check(.Call(C_start, paste(parts, collapse = " ")), "StartVexa")
    .started_here$engine <- TRUE
    invisible(0L)
}

# An engine this session started is stopped when R exits, also after an
# error ends a script, so that its output is complete.
.started_here <- new.env()
.started_here$engine <- FALSE
.onLoad <- function(libname, pkgname) {
    reg.finalizer(.started_here, function(state) if (isTRUE(state$engine)) .Call(C_stop), onexit = TRUE)
}

#' Stops the engine this process started.
vexa_stop <- function() {
    .started_here$engine <- FALSE
    invisible(.Call(C_stop))
}

vexa_is_running <- function() .Call(C_is_running)

#' Submits command syntax: the lines are joined with line feeds.
vexa_submit <- function(syntax) {
    if (!is.character(syntax) || anyNA(syntax)) stop("syntax must be texts", call. = FALSE)
    .check(.Call(C_submit, enc2utf8(paste(syntax, collapse = "\n"))), "Submit")
}

#' Adds text to the engine's output.
vexa_post_output <- function(text) .check(.Call(C_post_output, .text(text, "text")), "PostVexaOutput")

#' The active dataset's dictionary: one row per variable.
vexa_dictionary <- function() {
    columns <- .value(.Call(C_dictionary), "GetVariableCount")
    level <- ifelse(columns[[5L]] %in% seq_along(.levels), .levels[columns[[5L]]],
                    as.character(columns[[5L]]))
    data.frame(name = columns[[1L]], label = columns[[2L]], type = columns[[3L]],
               format = columns[[4L]], level = level, stringsAsFactors = FALSE)
}

#' The number of cases of the active dataset.
vexa_case_count <- function() .value(.Call(C_case_count), "GetRowCount")

#' The names of the engine's datasets.
vexa_datasets <- function() .value(.Call(C_datasets), "GetVexaDatasets")

#' Runs `code` inside a procedure named `name`; the procedure ends however
#' `code` ends. The value of `code` is the result.
vexa_procedure <- function(name, code, identifier = name) {
    .check(.Call(C_start_procedure, .text(name, "name"), .text(identifier, "identifier")),
           "StartProcedure")
    ended <- FALSE
    on.exit(if (!ended) .Call(C_status_call, "EndProcedure"))
    value <- force(code)
    ended <- TRUE
    .check(.Call(C_status_call, "EndProcedure"), "EndProcedure")
    value
}

# Runs `work` in the running procedure, or in one of its own.
.in_procedure <- function(name, work) {
    if (identical(.Call(C_status_call, "HasProcedure"), 1L)) return(work())
    vexa_procedure(name, work())
}

.select <- function(dictionary, variables) {
    if (is.null(variables)) return(seq_len(nrow(dictionary)))
    if (is.character(variables)) {
        chosen <- match(variables, dictionary$name)
        if (anyNA(chosen)) {
            stop(sprintf("no variable named %s", paste(variables[is.na(chosen)], collapse = ", ")), call. = FALSE)
        }
        return(chosen)
    }
    if (is.numeric(variables) && all(variables >= 1 & variables <= nrow(dictionary))) return(as.integer(variables))
    stop("variables are names or positions (from 1)", call. = FALSE)
}

#' Reads the active dataset's cases into a data frame: numeric variables as
#' doubles, string variables as texts without trailing blanks. Missing values
#' are NA; user-missing ones stay values with `user_missing_as_na = FALSE`.
vexa_read_data <- function(variables = NULL, user_missing_as_na = TRUE) {
    dictionary <- vexa_dictionary()
    chosen <- .select(dictionary, variables)
    columns <- .in_procedure("R read", function() {
        .value(.Call(C_read_cases, as.integer(chosen - 1L), as.integer(dictionary$type[chosen]),
                     isTRUE(user_missing_as_na)), "NextCase")
    })
    names(columns) <- dictionary$name[chosen]
    as.data.frame(columns, stringsAsFactors = FALSE, optional = TRUE)
}

# The engine's type of a column: 0 for numbers, else the widest text's bytes.
.column_width <- function(column, name) {
    if (is.factor(column)) column <- as.character(column)
    if (is.logical(column) && all(is.na(column))) return(0L)
    if (is.numeric(column) || is.logical(column)) return(0L)
    if (is.character(column)) {
        widths <- nchar(enc2utf8(column[!is.na(column)]), type = "bytes")
        return(max(c(1L, widths)))
    }
    stop(sprintf("column %s is neither numeric nor text", name), call. = FALSE)
}

.prepare_columns <- function(data) {
    if (!is.data.frame(data)) stop("data must be a data frame", call. = FALSE)
    names <- names(data)
    if (!length(names) || any(!nzchar(names)) || anyDuplicated(names)) {
        stop("columns need distinct non-empty names", call. = FALSE)
    }
    widths <- vapply(seq_along(data), function(i) .column_width(data[[i]], names[i]), integer(1))
    columns <- lapply(seq_along(data), function(i) {
        column <- data[[i]]
        if (widths[i] == 0L) as.double(column) else enc2utf8(as.character(column))
    })
    list(names = enc2utf8(names), widths = widths, columns = columns)
}

#' Adds the data frame's columns as new variables of the active dataset, one
#' row per case in order. NA becomes system-missing (numbers) or blank
#' (texts). `labels` are variable labels, by column.
vexa_add_variables <- function(data, labels = NULL) {
    prepared <- .prepare_columns(data)
    cases <- vexa_case_count()
    if (cases >= 0L && nrow(data) != cases) {
        stop(sprintf("data has %d rows for %d cases", nrow(data), cases), call. = FALSE)
    }
    labels <- if (is.null(labels)) rep("", length(prepared$names)) else enc2utf8(as.character(labels))
    if (length(labels) != length(prepared$names)) stop("one label per column", call. = FALSE)
    invisible(.in_procedure("R write", function() {
        .check(.Call(C_add_variables, prepared$names, prepared$widths, labels, prepared$columns),
               "CommitCaseRecord")
    }))
}

#' Makes a new dataset `name` from the data frame; with `activate` it becomes
#' the active dataset.
vexa_create_dataset <- function(name, data, activate = FALSE) {
    name <- .text(name, "name")
    prepared <- .prepare_columns(data)
    .check(.Call(C_status_call, "StartDataStep"), "StartDataStep")
    ended <- FALSE
    on.exit(if (!ended) .Call(C_status_call, "EndDataStep"))
    .check(.Call(C_create_dataset, name, prepared$names, prepared$widths, prepared$columns), "CommitDataSet")
    ended <- TRUE
    .check(.Call(C_status_call, "EndDataStep"), "EndDataStep")
    if (isTRUE(activate)) .check(.Call(C_text_call, "SetActive", name), "SetActive")
    invisible(name)
}

#' A pivot table from a numeric matrix or data frame: its row names are the
#' row dimension's categories and its column names the column dimension's.
#' NA cells stay empty. Runs in the running procedure, or in one named
#' `procedure`.
vexa_pivot_table <- function(cells, title, outline = title, row_dimension = "Rows",
                             column_dimension = "Columns", procedure = "R") {
    cells <- as.matrix(cells)
    if (!is.numeric(cells)) stop("cells must be numbers", call. = FALSE)
    row_labels <- rownames(cells) %||% as.character(seq_len(nrow(cells)))
    column_labels <- colnames(cells) %||% as.character(seq_len(ncol(cells)))
    texts <- vapply(list(outline, title, row_dimension, column_dimension),
                    function(t) .text(t, "a table text"), character(1))
    storage.mode(cells) <- "double"
    invisible(.in_procedure(procedure, function() {
        .check(.Call(C_pivot_table, texts, enc2utf8(row_labels), enc2utf8(column_labels), cells),
               "SetNumberCell")
    }))
}

`%||%` <- function(a, b) if (is.null(a)) b else a
