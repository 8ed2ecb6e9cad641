#!/bin/sh
# The forests of foundabc-summary against R's ranger on a table the program
# writes: for each drawn parameter the out-of-bag error, and the posterior
# mean, median and 95 % bounds at the observed data (ranger's trees, their
# in-bag counts and terminal nodes weighting the rows as the program does);
# for model choice (without discriminant axes) the prior error rate, the vote
# shares and the probability of the chosen model. A forest is random: the
# program agrees when it lies within the spread of two ranger seeds (for the
# estimate: the mean of two program seeds, within that spread widened by the
# larger of the two sides' differences), or within 3 % of the prior's width
# (5 % for the bounds; 0.02 for error rates, 0.05 for votes and
# probabilities). Exits 77 (skipped) without ranger.
#
# usage: sh tests/clients/forest_vs_ranger.sh PATH/TO/foundabc PATH/TO/foundabc-summary
set -e
Rscript -e 'library(ranger)' > /dev/null 2>&1 || exit 77
BIN=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
SUMMARY=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$ROOT/examples/data.txt" "$work/"
cd "$work"
seed=1
for model in "plain 0 0" "k2 2 0"; do
    set -- $model
    sed -e "s/^REPEATS .*/REPEATS 3000 #/" -e "s/^OUTFILE_NAME .*/OUTFILE_NAME $1.txt #/" \
        -e "s/^CONDITIONAL_NUMBER_OF_ORIGINS .*/CONDITIONAL_NUMBER_OF_ORIGINS $2 #/" \
        -e "s/^UNEQUAL_FOUNDING_FRACTIONS .*/UNEQUAL_FOUNDING_FRACTIONS $3 #/" \
        "$ROOT/examples/params.txt" > "$1-params.txt"
    "$BIN" --seed $seed --table "$1.tsv.gz" "$1-params.txt" > /dev/null
    seed=$((seed + 1))
done
"$SUMMARY" --table plain.tsv.gz --method forest --trees 500 --tsv > estimate.tsv
"$SUMMARY" --table plain.tsv.gz --method forest --trees 500 --seed 2 --tsv > estimate2.tsv
"$SUMMARY" --choose plain.tsv.gz k2.tsv.gz --method forest --no-lda --trees 500 --tsv > choice.tsv
cat > check.R <<'CHECK'
suppressMessages(library(ranger))
table <- read.delim(gzfile("plain.tsv.gz"))
obs <- read.delim("plain.tsv.observed.tsv")
stats <- names(obs)  # every statistic of the table, as the program's forests take them
# ranger refuses a statistic that is not a number (GAP_sue where sue has one
# allele at every locus); the program sends it right at every split, as a
# value above all others.
table[stats][is.na(table[stats])] <- 1e300
priors <- read.delim("plain.tsv.priors.tsv", comment.char = "#")
ours <- read.delim("estimate.tsv")
ours2 <- read.delim("estimate2.tsv")
# The program's weighted quantile: each value at the midpoint of its weight.
wquantile <- function(x, w, p) {
  keep <- w > 0; x <- x[keep]; w <- w[keep]; o <- order(x); x <- x[o]; w <- w[o]
  pos <- (cumsum(w) - w / 2 - w[1] / 2) / (sum(w) - w[1] / 2 - w[length(w)] / 2)
  pos[1] <- 0; pos[length(pos)] <- 1
  approx(pos, x, p, ties = "ordered")$y
}
# The posterior weights of the rows: each tree spreads 1 over the in-bag rows
# of the observed data's leaf, in proportion to their in-bag counts.
posterior <- function(y, seed) {
  d <- data.frame(y = y, table[stats])
  rf <- ranger(y ~ ., data = d, num.trees = 500, mtry = 4, min.node.size = 5,
               keep.inbag = TRUE, seed = seed, num.threads = 2)
  nodes <- predict(rf, table[stats], type = "terminalNodes")$predictions
  at <- predict(rf, obs[stats], type = "terminalNodes")$predictions
  inbag <- do.call(cbind, rf$inbag.counts)
  w <- numeric(nrow(d))
  for (t in seq_len(ncol(nodes))) {
    same <- nodes[, t] == at[1, t]
    w[same] <- w[same] + inbag[same, t] / sum(inbag[same, t])
  }
  list(w = w / ncol(nodes), error = rf$prediction.error / mean((y - mean(y))^2))
}
bad <- 0
# Within the range of the two seeds widened by their difference, or within
# the tolerance of either. With two seeds of the program too (`ours2`), their
# mean is compared and the wider of the two sides' differences widens the
# range: a quantile's Monte Carlo noise can exceed the tolerance on either side.
check <- function(what, ours, r1, r2, tolerance, ours2 = ours) {
  d <- max(abs(r1 - r2), abs(ours - ours2), tolerance)
  ours <- (ours + ours2) / 2
  ok <- ours >= min(r1, r2) - d && ours <= max(r1, r2) + d
  cat(sprintf("%-28s ours %10.5g  ranger %10.5g / %10.5g  %s\n", what, ours, r1, r2,
              if (ok) "ok" else "DIFFERENT"))
  if (!ok) bad <<- bad + 1
}
for (k in seq_len(6)) {
  name <- priors$parameter[k]
  logged <- priors$distribution[k] == "log-uniform"
  scale <- if (logged) log else identity
  x <- table[[name]]; y <- scale(x)
  width <- scale(priors$upper[k]) - scale(priors$lower[k])
  a <- posterior(y, 1); b <- posterior(y, 2)
  row <- ours[ours$column == name, ]
  row2 <- ours2[ours2$column == name, ]
  check(paste(name, "oob error"), row$oob_error, a$error, b$error, 0.02, row2$oob_error)
  check(paste(name, "mean"), scale(row$mean), scale(sum(a$w * x)), scale(sum(b$w * x)),
        0.03 * width, scale(row2$mean))
  for (q in list(c("median", 0.5, 0.03), c("q2.5", 0.025, 0.05), c("q97.5", 0.975, 0.05))) {
    p <- as.numeric(q[2])
    check(paste(name, q[1]), scale(row[[q[1]]]), scale(wquantile(x, a$w, p)),
          scale(wquantile(x, b$w, p)), as.numeric(q[3]) * width, scale(row2[[q[1]]]))
  }
}
# Model choice without discriminant axes, and the probability of the chosen
# model from the out-of-bag errors.
k2 <- read.delim(gzfile("k2.tsv.gz"))
k2[stats][is.na(k2[stats])] <- 1e300
pooled <- data.frame(model = factor(rep(c("plain", "k2"), c(nrow(table), nrow(k2))),
                                    levels = c("plain", "k2")),
                     rbind(table[stats], k2[stats]))
choice <- read.delim("choice.tsv")
chosen <- choice$model[choice$chosen == 1]
r <- lapply(1:2, function(seed) {
  rf <- ranger(model ~ ., data = pooled, num.trees = 500, mtry = 4, min.node.size = 1,
               seed = seed, num.threads = 2)
  votes <- predict(rf, obs[stats], predict.all = TRUE)$predictions
  share <- mean(votes == which(levels(pooled$model) == chosen))
  wrong <- as.numeric(rf$predictions != pooled$model)
  err <- ranger(wrong ~ ., data = data.frame(wrong = wrong, pooled[stats]), num.trees = 500,
                mtry = 4, min.node.size = 5, seed = seed, num.threads = 2)
  c(rf$prediction.error, share, 1 - predict(err, obs[stats])$predictions)
})
check("prior error rate", choice$prior_error_rate[1], r[[1]][1], r[[2]][1], 0.02)
check(paste("votes for", chosen), choice$votes[choice$chosen == 1], r[[1]][2], r[[2]][2], 0.05)
check(paste("probability of", chosen), choice$posterior[choice$chosen == 1], r[[1]][3],
      r[[2]][3], 0.05)
if (bad > 0) quit(status = 1)
cat("forests agree with ranger\n")
CHECK
Rscript check.R
