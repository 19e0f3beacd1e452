# Starts that fail: the condition carries the engine's reason.
source("support.R")

folder <- tempfile("vexa-r-start-")
dir.create(folder)

run_tests(list(
    a_refused_data_file_raises_with_the_file_line_and_name = function() {
        data <- file.path(folder, "bad_names.csv")
        writeLines(c("age,my var", "1,2"), data)
        caught <- error_of(vexa_start(engine_home, data_file = data))
        check(inherits(caught, "vexa_start_error"), "the start raises a vexa_start_error")
        expected <- sprintf('%s: line 1: "my var" is not a valid variable name', data)
        check_equal(caught$code, 9002L, "the engine's code for an unreadable data file")
        check_equal(caught$reason, expected, "the reason names file, line and name")
        check(grepl(expected, conditionMessage(caught), fixed = TRUE), "the message holds the reason")
        check(!vexa_is_running(), "no engine runs after the refusal")
    },
    an_unwritable_output_log_names_its_path = function() {
        log <- file.path(folder, "no", "out.log")
        caught <- error_of(vexa_start(engine_home, output_log = log))
        check_equal(caught$code, 9007L, "the engine's code for an output log it cannot open")
        check_equal(caught$reason, paste("cannot append to the output log", log), "the reason names the log")
    },
    a_start_after_a_refusal_succeeds = function() {
        start_engine()
        check(vexa_is_running(), "the engine runs")
    }
))
