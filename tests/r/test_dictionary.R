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
        check_equal(names(dictionary), c("name", "label", "type", "format", "level", "value_labels",
                                         "missing_values"), "column names")
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
    value_labels_and_missing_values_follow_the_dictionary_file = function() {
        dictionary <- vexa_dictionary()
        labels_of <- function(name) dictionary$value_labels[[which(dictionary$name == name)]]
        missing_of <- function(name) dictionary$missing_values[[which(dictionary$name == name)]]
        check_equal(labels_of("species_code"), c(setosa = 1, versicolor = 2, virginica = 3), "numeric labels")
        check_equal(names(labels_of("species_code")), c("setosa", "versicolor", "virginica"), "named by label")
        check_equal(labels_of("species"), c("Iris setosa" = "setosa", "Iris versicolor" = "versicolor",
                                            "Iris virginica" = "virginica"), "text labels")
        check_equal(length(labels_of("sepal_length")), 0L, "no labels")
        # As the file says: 'missing petal_quality 9 99', a range, a range and a value, a text.
        check_equal(missing_of("petal_quality"), c(9, 99), "discrete values")
        check_equal(missing_of("growth_index"), c(low = -999, high = -900), "a range")
        check_equal(names(missing_of("growth_index")), c("low", "high"), "a range's names")
        check_equal(missing_of("flower_count"), c(low = 90, high = 99, value = 0), "a range and a value")
        check_equal(names(missing_of("flower_count")), c("low", "high", "value"), "its names")
        check_equal(missing_of("species"), "unknown", "a text")
        check_equal(length(missing_of("sepal_length")), 0L, "none")
    },
    factors_give_labels_for_labelled_variables = function() {
        rows <- sample_rows()
        data <- vexa_read_data(c("species_code", "petal_quality", "sepal_length"), factors = TRUE)
        check(is.factor(data$species_code) && is.factor(data$petal_quality), "labelled variables are factors")
        check(is.numeric(data$sepal_length), "an unlabelled variable stays numeric")
        names <- c("setosa", "versicolor", "virginica")
        check_equal(as.character(data$species_code), names[as.integer(rows$species_code)], "labels by code")
        quality <- as.numeric(rows$petal_quality)
        expected <- ifelse(quality %in% c(9, 99), NA,
                           ifelse(quality == 1, "poor", ifelse(quality == 5, "excellent", as.character(quality))))
        check_equal(as.character(data$petal_quality), expected, "unlabelled codes as text, missing as NA")
    },
    the_case_count_is_the_data_file_s = function() {
        check_equal(vexa_case_count(), nrow(sample_rows()), "case count")
    },
    a_stopped_engine_refuses_with_a_code = function() {
        vexa_stop()
        for (call in list(function() vexa_dictionary(), function() vexa_read_data(),
                          function() vexa_submit("SET WIDTH=80."), function() vexa_case_count(),
                          function() vexa_procedure("p", 1))) {
            refused <- error_of(call())
            check(inherits(refused, "vexa_not_running") && identical(refused$code, 17L),
                  "a call after the stop raises vexa_not_running")
            check_equal(conditionMessage(refused), "the engine is not running: start one with vexa_start()",
                        "in words")
        }
        vexa_start(engine_home, output_log = paths$log)
        check_equal(nrow(vexa_dictionary()), 9L, "a started engine answers again")
    }
))
