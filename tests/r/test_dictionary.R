# The dictionary as a data frame equals the sample's dictionary file.
source("support.R")
paths <- start_engine()

statement_fields <- function(statement) {
    words <- statement$text[-(1:2)]
    fields <- words[c(FALSE, TRUE)]
    names(fields) <- words[c(TRUE, FALSE)]
    fields
}

run_tests(list(
    columns_and_rows_follow_the_dictionary_file = function() {
        dictionary <- vexa_dictionary()
        statements <- sample_dictionary()$variable
        check_equal(names(dictionary), c("name", "label", "type", "format", "level"), "column names")
        check_equal(dictionary$name, vapply(statements, function(s) s$text[2L], ""), "names in order")
        fields <- lapply(statements, statement_fields)
        check_equal(dictionary$label, vapply(fields, function(f) f[["label"]], ""), "labels")
        check_equal(dictionary$level, vapply(fields, function(f) f[["level"]], ""), "levels")
        given <- vapply(fields, function(f) if ("format" %in% names(f)) f[["format"]] else NA_character_, "")
        check_equal(dictionary$format[!is.na(given)], given[!is.na(given)], "formats the file gives")
    },
    types_are_zero_for_numbers_and_the_width_for_texts = function() {
        dictionary <- vexa_dictionary()
        rows <- sample_rows()
        numeric <- dictionary$name != "species"
        check(all(dictionary$type[numeric] == 0L), "numeric variables have type 0")
        species <- dictionary[dictionary$name == "species", ]
        check(species$type >= max(nchar(rows$species, type = "bytes")), "the string type holds the widest value")
        check_equal(species$format, sprintf("A%d", species$type), "a string's format is A and its width")
    },
    the_case_count_is_the_data_file_s = function() {
        check_equal(vexa_case_count(), nrow(sample_rows()), "case count")
    },
    a_stopped_engine_refuses_with_a_code = function() {
        vexa_stop()
        refused <- error_of(vexa_dictionary())
        check(inherits(refused, "vexa_error") && refused$code != 0L, "a dictionary query after the stop raises a vexa_error")
        vexa_start(engine_home, output_log = paths$log)
        check_equal(nrow(vexa_dictionary()), 9L, "a started engine answers again")
    }
))
