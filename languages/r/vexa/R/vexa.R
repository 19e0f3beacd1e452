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

# A condition with a message of its own: a program block's error, or the
# engine that is not running.
.vexa_condition <- function(message, code, call_name, class = character(), ...) {
    structure(class = c(class, "vexa_error", "error", "condition"),
              list(message = message, call = NULL, code = code, call_name = call_name, ...))
}

.not_running <- function(call_name) {
    .vexa_condition("the engine is not running: start one with vexa_start()", 17L, call_name,
                    "vexa_not_running")
}

# Calls that need the engine fail at once, without waiting on a pipe, when
# none runs; the library answers that question locally while none runs.
.require_engine <- function(call_name) {
    if (!isTRUE(.Call(C_is_running))) stop(.not_running(call_name))
}

.check <- function(status, call_name) {
    if (identical(status, 0L)) return(invisible(0L))
    if (status %in% c(17L, 32L, 99103L, 99104L) && !isTRUE(.Call(C_is_running))) {
        stop(.not_running(call_name))
    }
    stop(vexa_error(status, call_name))
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

# The output log of the engine this session started: the caller's, or a
# private one, which a failed program block's report is read back from.
.session <- new.env(parent = emptyenv())

.log_size <- function() {
    path <- .session$log
    if (is.null(path) || !file.exists(path)) return(0)
    file.size(path)
}

# Entries of the log written after `offset`: list(kind, text), unescaped.
.log_entries <- function(offset) {
    path <- .session$log
    if (is.null(path) || !file.exists(path)) return(list())
    size <- file.size(path) - offset
    if (size <= 0) return(list())
    connection <- file(path, "rb")
    on.exit(close(connection))
    seek(connection, offset)
    raw <- readBin(connection, "raw", size)
    lines <- strsplit(rawToChar(raw[raw != as.raw(0)]), "\n", fixed = TRUE)[[1L]]
    Encoding(lines) <- "UTF-8"
    lapply(lines, function(line) {
        at <- regexpr(": ", line, fixed = TRUE)
        if (at < 0) return(list(kind = "", text = line))
        text <- substring(line, at + 2L)
        parts <- strsplit(text, "\\\\", fixed = TRUE)[[1L]]
        parts <- gsub("\\n", "\n", gsub("\\t", "\t", gsub("\\r", "\r", gsub("\\0", "", parts, fixed = TRUE),
                      fixed = TRUE), fixed = TRUE), fixed = TRUE)
        list(kind = substring(line, 1L, at - 1L), text = paste(parts, collapse = "\\"))
    })
}

# The failed block's own message and report among the log entries.
.block_report <- function(language, entries) {
    outputs <- unlist(lapply(entries, function(e) if (identical(e$kind, "output")) e$text))
    if (!length(outputs)) return(NULL)
    if (identical(language, "PYTHON")) {
        found <- rev(which(startsWith(outputs, "Traceback (most recent call last):")))
        if (!length(found)) return(NULL)
        report <- sub("\n+$", "", outputs[found[1L]])
        lines <- strsplit(report, "\n", fixed = TRUE)[[1L]]
        lines <- lines[nzchar(trimws(lines))]
        return(list(message = lines[length(lines)], report = report))
    }
    if (identical(language, "R")) {
        lines <- unlist(strsplit(outputs, "\n", fixed = TRUE))
        found <- rev(which(startsWith(lines, "Error")))
        if (!length(found)) return(NULL)
        report <- paste(lines[found[1L]:length(lines)], collapse = "\n")
        message <- sub("^Error( in .*?)?\\s*:\\s*", "", report, perl = TRUE)
        return(list(message = trimws(gsub("\n", " ", message, fixed = TRUE)), report = report))
    }
    NULL
}

.block_language <- function(text) {
    found <- regmatches(text, gregexpr("(?im)^\\s*BEGIN\\s+PROGRAM(\\s+[A-Za-z0-9_]+)?", text, perl = TRUE))[[1L]]
    if (!length(found)) return(NULL)
    words <- strsplit(trimws(found[length(found)]), "[[:space:]]+")[[1L]]
    if (length(words) < 3L) "PYTHON" else toupper(words[3L])
}

#' Starts the engine (nothing happens when one runs already). A failed start
#' raises a vexa_error whose message and `reason` hold the engine's reason.
vexa_start <- function(engine_home = Sys.getenv("VEXA_ENGINE_HOME"), output_log = NULL,
                       output_html = NULL, data_file = NULL, extra = character()) {
    if (isTRUE(.Call(C_is_running))) return(invisible(0L))
    private <- is.null(output_log)
    if (private) output_log <- tempfile("vexa-output-", fileext = ".log")
    parts <- character()
    if (nzchar(engine_home)) {
        if (grepl(",", engine_home, fixed = TRUE)) stop("the engine home must hold no comma", call. = FALSE)
        parts <- c(parts, sprintf("-vexahome=%s,", engine_home))
    }
    parts <- c(parts, .path_option("outputlog", output_log), .path_option("outputhtml", output_html),
               .path_option("datafile", data_file), as.character(extra))
    status <- .Call(C_start, paste(parts, collapse = " "))
    if (identical(status, 0L)) {
        .session$log <- output_log
        .session$private <- private
        .started_here$engine <- TRUE
    } else if (private) {
        unlink(output_log)
    }
    if (identical(status, 0L)) return(invisible(0L))
    # The engine's own reason, e.g. a data file's name, line and what.
    reason <- .Call(C_start_failure)
    if (!nzchar(reason)) .check(status, "StartVexa")
    stop(.vexa_condition(sprintf("StartVexa failed with code %d: %s", status, reason), status, "StartVexa",
                         "vexa_start_error", reason = reason))
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
    .Call(C_stop)
    if (!isTRUE(.Call(C_is_running))) {
        if (isTRUE(.session$private)) unlink(.session$log)
        .session$log <- NULL
        .session$private <- NULL
    }
    invisible(NULL)
}

vexa_is_running <- function() .Call(C_is_running)

# Statuses of a submission that are the library's or the engine's, not a block's.
.not_block_statuses <- c(17L, 32L, 99103L:99108L, 99114L:99123L, 999988L, 9080L:9083L)

#' Submits command syntax: the lines are joined with line feeds.
vexa_submit <- function(syntax) {
    if (!is.character(syntax) || anyNA(syntax)) stop("syntax must be texts", call. = FALSE)
    .require_engine("Submit")
    text <- enc2utf8(paste(syntax, collapse = "\n"))
    offset <- .log_size()
    status <- .Call(C_submit, text)
    if (identical(status, 0L)) return(invisible(0L))
    language <- .block_language(text)
    if (is.null(language) || status %in% .not_block_statuses) .check(status, "Submit")
    found <- .block_report(language, .log_entries(offset))
    message <- if (is.null(found)) sprintf("the %s program block ended with status %d", language, status)
               else found$message
    stop(.vexa_condition(message, status, "Submit", "vexa_block_error", language = language,
                         traceback = if (is.null(found)) "" else found$report))
}

#' Adds text to the engine's output.
vexa_post_output <- function(text) {
    .require_engine("PostVexaOutput")
    .check(.Call(C_post_output, .text(text, "text")), "PostVexaOutput")
}

# Missing values as a vector: discrete values unnamed; a range as
# c(low =, high =), with `value =` for the extra value of a range plus value.
.missing_vector <- function(answer) {
    format <- answer[[1L]]
    values <- answer[[2L]]
    if (format == -2L) names(values) <- c("low", "high")
    if (format == -3L) names(values) <- c("low", "high", "value")
    values
}

#' The active dataset's dictionary: one row per variable.
vexa_dictionary <- function() {
    .require_engine("GetVariableCount")
    columns <- .value(.Call(C_dictionary), "GetVariableCount")
    level <- ifelse(columns[[5L]] %in% seq_along(.levels), .levels[columns[[5L]]],
                    as.character(columns[[5L]]))
    dictionary <- data.frame(name = columns[[1L]], label = columns[[2L]], type = columns[[3L]],
                             format = columns[[4L]], level = level, stringsAsFactors = FALSE)
    positions <- seq_len(nrow(dictionary)) - 1L
    strings <- dictionary$type > 0L
    dictionary$value_labels <- I(lapply(seq_along(positions), function(i) {
        pair <- .value(.Call(C_value_labels, positions[i], strings[i]), "GetNValueLabels")
        stats::setNames(pair[[1L]], pair[[2L]])
    }))
    dictionary$missing_values <- I(lapply(seq_along(positions), function(i) {
        .missing_vector(.value(.Call(C_missing_values, positions[i], strings[i]), "GetVarNMissingValues"))
    }))
    dictionary
}

#' The number of cases of the active dataset.
vexa_case_count <- function() {
    .require_engine("GetRowCount")
    .value(.Call(C_case_count), "GetRowCount")
}

#' The names of the engine's datasets.
vexa_datasets <- function() {
    .require_engine("GetVexaDatasets")
    .value(.Call(C_datasets), "GetVexaDatasets")
}

#' Runs `code` inside a procedure named `name`; the procedure ends however
#' `code` ends. The value of `code` is the result.
vexa_procedure <- function(name, code, identifier = name) {
    .require_engine("StartProcedure")
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

# A labelled variable's values as a factor: a labelled value shows its label,
# any other value its own text; NA stays NA.
.as_factor <- function(values, labels) {
    present <- sort(unique(values[!is.na(values)]))
    texts <- ifelse(present %in% labels, names(labels)[match(present, labels)], as.character(present))
    factor(texts[match(values, present)], levels = unique(texts))
}

#' Reads the active dataset's cases into a data frame: numeric variables as
#' doubles, string variables as texts without trailing blanks. Missing values
#' are NA; user-missing ones stay values with `user_missing_as_na = FALSE`.
#' With `factors = TRUE` variables with value labels become factors.
vexa_read_data <- function(variables = NULL, user_missing_as_na = TRUE, factors = FALSE) {
    dictionary <- vexa_dictionary()
    chosen <- .select(dictionary, variables)
    columns <- .in_procedure("R read", function() {
        .value(.Call(C_read_cases, as.integer(chosen - 1L), as.integer(dictionary$type[chosen]),
                     isTRUE(user_missing_as_na)), "NextCase")
    })
    names(columns) <- dictionary$name[chosen]
    if (isTRUE(factors)) {
        for (i in seq_along(chosen)) {
            labels <- dictionary$value_labels[[chosen[i]]]
            if (length(labels)) columns[[i]] <- .as_factor(columns[[i]], labels)
        }
    }
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
    .require_engine("StartDataStep")
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
    .require_engine("StartPivotTable")
    invisible(.in_procedure(procedure, function() {
        .check(.Call(C_pivot_table, texts, enc2utf8(row_labels), enc2utf8(column_labels), cells),
               "SetNumberCell")
    }))
}

`%||%` <- function(a, b) if (is.null(a)) b else a
