# Independent figures for the engine's summary commands, computed in R from
# the same data: Rscript summaries.R <iris.csv> <output directory>.
# Writes airquality.csv (NA as empty fields, plus a weight `w` and a 0/1
# `windy`) and, per data set, weighting and split, one file of lines
#   D|group|variable|statistic|value      (DESCRIBE)
#   L|group|listwise N
#   T|group|variable|category|column|value (TALLY)
#   C|group|row value|column value|count  (CROSSCOUNT, "Total" for margins)
args <- commandArgs(trailingOnly = TRUE)
iris_path <- args[1]
out <- args[2]

num <- function(x) sprintf("%.17g", x)
key <- function(x) as.character(x)

air <- airquality
air$w <- (air$Day %% 3) + 0.5
air$windy <- as.integer(air$Wind > 10)
write.csv(air, file.path(out, "airquality.csv"), row.names = FALSE, na = "")

iris_data <- read.csv(iris_path, stringsAsFactors = FALSE)

# User-missing values as the engine's dictionary defines them.
iris_missing <- list(
  petal_quality = function(x) x %in% c(9, 99),
  growth_index = function(x) x >= -999 & x <= -900,
  flower_count = function(x) (x >= 90 & x <= 99) | x == 0)
no_missing <- list()

wmean <- function(x, w) sum(w * x) / sum(w)
wsd <- function(x, w) sqrt(sum(w * (x - wmean(x, w))^2) / (sum(w) - 1))

valid_of <- function(d, v, missing) {
  x <- d[[v]]
  ok <- !is.na(x)
  if (!is.null(missing[[v]])) ok <- ok & !missing[[v]](x)
  ok
}

scenario <- function(name, d, missing, weight, split, describe, tally, cross) {
  lines <- character()
  add <- function(...) lines <<- c(lines, paste(..., sep = "|"))
  w_all <- if (is.null(weight)) rep(1, nrow(d)) else d[[weight]]
  groups <- if (is.null(split)) list("-" = seq_len(nrow(d))) else split(seq_len(nrow(d)), d[[split]])
  for (g in names(groups)) {
    rows <- groups[[g]]
    dg <- d[rows, , drop = FALSE]
    w <- w_all[rows]
    every <- rep(TRUE, length(rows))
    for (v in describe) {
      ok <- valid_of(dg, v, missing) & w > 0
      every <- every & ok
      x <- dg[[v]][ok]; wv <- w[ok]
      add("D", g, v, "N", num(sum(wv)))
      add("D", g, v, "Minimum", num(min(x)))
      add("D", g, v, "Maximum", num(max(x)))
      add("D", g, v, "Mean", num(wmean(x, wv)))
      add("D", g, v, "Std. Deviation", num(wsd(x, wv)))
    }
    add("L", g, num(sum(w[every & w > 0])))
    for (v in tally) {
      x <- dg[[v]]
      ok <- valid_of(dg, v, missing) & w > 0
      total <- sum(w[w > 0]); valid_total <- sum(w[ok])
      running <- 0
      for (value in sort(unique(x[ok]))) {
        count <- sum(w[ok & x == value])
        running <- running + count
        add("T", g, v, key(value), "Frequency", num(count))
        add("T", g, v, key(value), "Percent", num(100 * count / total))
        add("T", g, v, key(value), "Valid Percent", num(100 * count / valid_total))
        add("T", g, v, key(value), "Cumulative Percent", num(100 * running / valid_total))
      }
      add("T", g, v, "Valid total", "Frequency", num(valid_total))
      user <- !ok & !is.na(x) & w > 0
      for (value in sort(unique(x[user]))) add("T", g, v, key(value), "Frequency", num(sum(w[user & x == value])))
      sysmis <- is.na(x) & w > 0
      if (any(sysmis)) add("T", g, v, "System missing", "Frequency", num(sum(w[sysmis])))
      if (any(!ok & w > 0)) {
        add("T", g, v, "Missing total", "Frequency", num(total - valid_total))
        add("T", g, v, "Missing total", "Percent", num(100 * (total - valid_total) / total))
      }
      add("T", g, v, "Total", "Frequency", num(total))
    }
    a <- cross[1]; b <- cross[2]
    ok <- valid_of(dg, a, missing) & valid_of(dg, b, missing) & w > 0
    counts <- tapply(w[ok], list(dg[[a]][ok], dg[[b]][ok]), sum)
    counts[is.na(counts)] <- 0
    for (r in rownames(counts)) for (c in colnames(counts)) add("C", g, r, c, num(counts[r, c]))
    for (r in rownames(counts)) add("C", g, r, "Total", num(sum(counts[r, ])))
    for (c in colnames(counts)) add("C", g, "Total", c, num(sum(counts[, c])))
    add("C", g, "Total", "Total", num(sum(counts)))
  }
  writeLines(lines, file.path(out, paste0(name, ".txt")))
}

iris_describe <- c("sepal_length", "sepal_width", "petal_length", "petal_width", "growth_index", "flower_count")
air_describe <- c("Ozone", "Solar.R", "Wind", "Temp")
for (weighted in c(FALSE, TRUE)) for (splitting in c(FALSE, TRUE)) {
  suffix <- paste0(if (weighted) "weighted" else "plain", "-", if (splitting) "split" else "whole")
  scenario(paste0("iris-", suffix), iris_data, iris_missing,
           if (weighted) "sepal_width" else NULL, if (splitting) "species_code" else NULL,
           iris_describe, c("petal_quality", "species_code"), c("species_code", "petal_quality"))
  scenario(paste0("air-", suffix), air, no_missing,
           if (weighted) "w" else NULL, if (splitting) "Month" else NULL,
           air_describe, c("Ozone", "Month"), c("Month", "windy"))
}
