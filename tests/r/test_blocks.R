# BEGIN PROGRAM R. blocks that the engine runs in an R language process:
# output, shared state, the package inside a block, errors and nesting.
source("support.R")
paths <- start_engine()

block <- function(...) c("BEGIN PROGRAM R.", ..., "END PROGRAM.")

# The block's output lines in the log, without the log's own prefix.
outputs_since <- function(count) {
    lines <- log_lines(paths)
    lines <- lines[seq_along(lines) > count]
    sub("^output: ", "", lines[startsWith(lines, "output: ")])
}

run_tests(list(
    a_block_runs_in_a_language_process_and_keeps_its_objects = function() {
        seen <- length(log_lines(paths))
        vexa_submit(block("shared <- 41 + 1", "shared", "cat('pid', Sys.getpid(), '\\n')"))
        vexa_submit(block("cat('again', shared, Sys.getpid(), '\\n')"))
        out <- outputs_since(seen)
        check_equal(out[1L], "[1] 42", "a visible value is printed")
        first <- sub("^pid ([0-9]+) $", "\\1", out[2L])
        check(grepl("^[0-9]+$", first) && first != as.character(Sys.getpid()), "the block ran in another process")
        check_equal(out[3L], sprintf("again 42 %s ", first), "the next block sees the object, in the same process")
    },
    the_language_process_has_r_s_home_and_its_programs_first_on_path = function() {
        seen <- length(log_lines(paths))
        vexa_submit(block("cat(Sys.getenv('R_HOME'), strsplit(Sys.getenv('PATH'), ':')[[1]][1], '\\n')"))
        home <- R.home()
        check_equal(outputs_since(seen), sprintf("%s %s ", home, file.path(home, "bin")), "R_HOME and PATH")
    },
    the_package_inside_a_block_reads_and_writes_the_data = function() {
        vexa_submit(block(
            "library(vexa)",
            "data <- vexa_read_data(c('petal_length', 'petal_width'))",
            "vexa_add_variables(data.frame(petal_area = data$petal_length * data$petal_width))",
            "cat('added', nrow(data), '\\n')"))
        data <- vexa_read_data(c("petal_length", "petal_width", "petal_area"))
        check_equal(data$petal_area, data$petal_length * data$petal_width, "the block's new variable")
    },
    an_error_fails_the_block_and_its_message_is_in_the_output = function() {
        seen <- length(log_lines(paths))
        failed <- error_of(vexa_submit(block("cat('before\\n')", "stop('no such petal')", "cat('never\\n')")))
        check(inherits(failed, "vexa_block_error") && failed$code == 1L, "the submission fails with the block's status")
        check_equal(conditionMessage(failed), "no such petal", "the condition's message is the block's error")
        check_equal(failed$traceback, "Error: no such petal", "the report as the language gave it")
        out <- outputs_since(seen)
        check_equal(out, c("before", "Error: no such petal"), "the output up to the error, and the error")
        vexa_submit(block("cat('still', shared, '\\n')"))
        check_equal(tail(outputs_since(seen), 1L), "still 42 ", "the language process runs the next block")
    },
    a_failed_python_block_gives_its_exception_as_the_message = function() {
        failed <- error_of(vexa_submit(c("BEGIN PROGRAM PYTHON.", "{}['height']", "END PROGRAM.")))
        check(inherits(failed, "vexa_block_error"), "a block error")
        check_equal(conditionMessage(failed), "KeyError: 'height'", "the traceback's last line")
        check(startsWith(failed$traceback, "Traceback (most recent call last):"), "the whole traceback")
    },
    a_syntax_error_and_a_warning = function() {
        seen <- length(log_lines(paths))
        failed <- error_of(vexa_submit(block("x <- (1 + ")))
        check(inherits(failed, "vexa_error"), "a block that does not parse fails")
        check(any(startsWith(outputs_since(seen), "Error")), "the parse error is in the output")
        seen <- length(log_lines(paths))
        vexa_submit(block("w <- as.integer('x')", "cat('went on\\n')"))
        check_equal(outputs_since(seen), c("Warning: NAs introduced by coercion", "went on"),
                    "a warning is reported and the block goes on")
    },
    a_nested_block_sees_the_outer_objects_and_its_output_comes_in_order = function() {
        seen <- length(log_lines(paths))
        vexa_submit(block(
            "library(vexa)",
            "inner_value <- 7",
            "cat('outer before ')",
            "vexa_submit(c('BEGIN PROGRAM R.', 'cat(\"inner sees\", inner_value, \"\\\\n\")', 'inner_value <- 8', 'END PROGRAM.'))",
            "cat('outer after', inner_value, '\\n')"))
        check_equal(outputs_since(seen), c("outer before ", "inner sees 7 ", "outer after 8 "),
                    "the outer block's text, the nested block's, the rest of the outer's")
    },
    quitting_r_ends_the_block_with_a_code_and_the_next_block_gets_a_new_process = function() {
        seen <- length(log_lines(paths))
        vexa_submit(block("cat(Sys.getpid(), '\\n')"))
        before <- outputs_since(seen)
        failed <- error_of(vexa_submit(block("q('no', status = 3)")))
        check(inherits(failed, "vexa_error") && failed$code != 0L, "the quit block fails")
        seen <- length(log_lines(paths))
        vexa_submit(block("cat(Sys.getpid(), '\\n')", "cat(exists('shared'), '\\n')"))
        after <- outputs_since(seen)
        check(after[1L] != before, "a new language process")
        check_equal(after[2L], "FALSE ", "which starts with an empty session")
    }
))
