# Shared pieces of the R package's tests: a minimal runner, the sample read
# by the tests themselves, and one engine per test file.
suppressPackageStartupMessages(library(vexa))

engine_home <- Sys.getenv("VEXA_ENGINE_HOME")
if (!nzchar(engine_home) || !file.exists(file.path(engine_home, "StartXD"))) {
    stop("VEXA_ENGINE_HOME does not name an engine home")
}

.failures <- 0L
.checks <- 0L

check <- function(ok, what) {
    .checks <<- .checks + 1L
    if (!isTRUE(ok)) {
        .failures <<- .failures + 1L
        cat("FAILED:", what, "\n")
    }
    invisible(ok)
}

check_equal <- function(actual, expected, what) {
    same <- isTRUE(all.equal(actual, expected, check.attributes = FALSE))
    check(same, what)
    if (!same) {
        cat("  expected:", deparse(expected, nlines = 3L), "\n  actual:  ", deparse(actual, nlines = 3L), "\n")
    }
    invisible(same)
}

# The vexa_error a call raises, or NULL when it raised none.
error_of <- function(expression) {
    tryCatch({ force(expression); NULL }, vexa_error = function(e) e)
}

run_tests <- function(tests) {
    for (name in names(tests)) {
        before <- .failures
        outcome <- tryCatch({ tests[[name]](); NULL }, error = function(e) conditionMessage(e))
        if (!is.null(outcome)) {
            .failures <<- .failures + 1L
            cat("ERROR in", name, ":", outcome, "\n")
        }
        cat(if (.failures == before) "ok  " else "FAIL", name, "\n")
    }
    # The engine this process started ends with it, whatever happened.
    vexa_stop()
    cat(.checks, "checks,", .failures, "failed\n")
    quit(status = if (.failures == 0L) 0L else 1L, save = "no")
}

# Starts the engine with an output log (and HTML output) in a fresh folder.
start_engine <- function() {
    folder <- tempfile("vexa-r-")
    dir.create(folder)
    paths <- list(folder = folder, log = file.path(folder, "output.log"),
                  html = file.path(folder, "output.html"))
    vexa_start(engine_home, output_log = paths$log, output_html = paths$html)
    paths
}

log_lines <- function(paths) readLines(paths$log, encoding = "UTF-8", warn = FALSE)

# The sample data file as the tests read it: every cell a text.
sample_rows <- function() {
    read.csv(file.path(engine_home, "iris.csv"), colClasses = "character", na.strings = character(),
             check.names = FALSE)
}

# The sample's dictionary statements, by kind, from its file.
sample_dictionary <- function() {
    lines <- readLines(file.path(engine_home, "iris.dict"), encoding = "UTF-8")
    tokens <- lapply(lines, function(line) {
        pattern <- '"(([^"]|"")*)"|[^[:space:]]+'
        found <- regmatches(line, gregexpr(pattern, line))[[1L]]
        comment <- which(startsWith(found, "#"))
        if (length(comment)) found <- found[seq_len(comment[1L] - 1L)]
        quoted <- startsWith(found, '"')
        found[quoted] <- gsub('""', '"', substr(found[quoted], 2L, nchar(found[quoted]) - 1L), fixed = TRUE)
        list(text = found, quoted = quoted)
    })
    kinds <- vapply(tokens, function(t) if (length(t$text)) tolower(t$text[1L]) else "", "")
    list(variable = tokens[kinds == "variable"], missing = tokens[kinds == "missing"])
}
