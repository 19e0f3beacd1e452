# Cases read into data frames, written back as new variables and as a new
# dataset, keep every value and every missing value; pivot tables reach the
# engine's output.
source("support.R")
paths <- start_engine()

user_missing <- function(name, texts) {
    statement <- Filter(function(s) s$text[2L] == name, sample_dictionary()$missing)
    if (!length(statement)) return(rep(FALSE, length(texts)))
    words <- statement[[1L]]$text[-(1:2)]
    if (!words[1L] %in% c("range", "value")) return(texts %in% words)
    numbers <- suppressWarnings(as.numeric(texts))
    missing <- rep(FALSE, length(texts))
    at <- 1L
    while (at <= length(words)) {
        if (words[at] == "range") {
            missing <- missing | (!is.na(numbers) & numbers >= as.numeric(words[at + 1L]) &
                                  numbers <= as.numeric(words[at + 2L]))
            at <- at + 3L
        } else {
            missing <- missing | (!is.na(numbers) & numbers == as.numeric(words[at + 1L]))
            at <- at + 2L
        }
    }
    missing
}

# What reading must give for one column of the data file.
expected_column <- function(name, texts, user_missing_as_na) {
    drop <- if (user_missing_as_na) user_missing(name, texts) else rep(FALSE, length(texts))
    if (name == "species") {
        values <- sub(" +$", "", texts)
    } else {
        values <- suppressWarnings(as.numeric(texts))
        drop <- drop | !nzchar(trimws(texts))
    }
    values[drop] <- NA
    values
}

check_against_sample <- function(data, user_missing_as_na, what) {
    rows <- sample_rows()
    check_equal(nrow(data), nrow(rows), paste(what, "row count"))
    for (name in names(rows)) {
        check(identical(data[[name]], expected_column(name, rows[[name]], user_missing_as_na)),
              paste(what, name))
    }
}

run_tests(list(
    read_cases_with_missing_values_as_na = function() {
        data <- vexa_read_data()
        check_equal(names(data), vexa_dictionary()$name, "columns are the variables")
        check_against_sample(data, TRUE, "user-missing as NA:")
        check(anyNA(data$growth_index) && anyNA(data$petal_quality), "the sample's missing values are there")
    },
    user_missing_values_stay_values_when_asked = function() {
        check_against_sample(vexa_read_data(user_missing_as_na = FALSE), FALSE, "user-missing kept:")
    },
    a_selection_reads_those_variables_in_that_order = function() {
        data <- vexa_read_data(c("species", "sepal_width"))
        check_equal(names(data), c("species", "sepal_width"), "selected names")
        check_equal(data$sepal_width, as.numeric(sample_rows()$sepal_width), "selected values")
        check(inherits(tryCatch(vexa_read_data("nope"), error = identity), "error"), "an unknown name is an error")
    },
    written_back_as_new_variables_every_value_survives = function() {
        data <- vexa_read_data(user_missing_as_na = FALSE)
        copies <- setNames(data, paste0("r_", names(data)))
        vexa_add_variables(copies, labels = paste("copy of", names(data)))
        dictionary <- vexa_dictionary()
        check_equal(dictionary$name, c(names(data), names(copies)), "the new variables follow the old")
        check_equal(dictionary$label[dictionary$name == "r_species"], "copy of species", "a new label")
        back <- vexa_read_data(names(copies), user_missing_as_na = FALSE)
        for (i in seq_along(data)) check(identical(back[[i]], data[[i]]), paste("round trip of", names(data)[i]))
        check_against_sample(vexa_read_data(names(data)), TRUE, "the old variables unchanged:")
    },
    a_frame_of_the_wrong_length_changes_nothing = function() {
        before <- vexa_dictionary()
        short <- data.frame(extra = c(1, 2, 3))
        check(inherits(tryCatch(vexa_add_variables(short), error = identity), "error"), "three rows are refused")
        check_equal(vexa_dictionary(), before, "the dictionary is as it was")
    },
    a_new_dataset_keeps_every_value = function() {
        data <- vexa_read_data(c("sepal_length", "species", "growth_index"), user_missing_as_na = FALSE)
        data$note <- c(NA, rep("ünïcode", nrow(data) - 1L))
        vexa_create_dataset("rcopy", data, activate = TRUE)
        check("rcopy" %in% vexa_datasets(), "the dataset is listed")
        back <- vexa_read_data()
        check_equal(names(back), names(data), "the new dataset's variables")
        for (name in c("sepal_length", "species", "growth_index")) {
            check(identical(back[[name]], data[[name]]), paste("new dataset", name))
        }
        check_equal(back$note, c("", rep("ünïcode", nrow(data) - 1L)), "texts, NA as blank")
    },
    a_pivot_table_reaches_the_output = function() {
        data <- vexa_read_data(c("sepal_length", "growth_index"))
        means <- rbind(mean = colMeans(data, na.rm = TRUE), maximum = vapply(data, max, 0, na.rm = TRUE))
        vexa_pivot_table(t(means), title = "Means from R", row_dimension = "Variables",
                         column_dimension = "Statistics", procedure = "R summary")
        vexa_stop()
        page <- paste(readLines(paths$html, encoding = "UTF-8", warn = FALSE), collapse = "\n")
        check(grepl("Means from R", page, fixed = TRUE), "the table's title")
        check(grepl("sepal_length", page, fixed = TRUE) && grepl("Statistics", page, fixed = TRUE),
              "the table's categories and dimension")
        check(grepl("7.9", page, fixed = TRUE), "the maximum of sepal_length")
    }
))
