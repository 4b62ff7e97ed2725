// One Monte-Carlo estimate spread over MPI ranks: the price of a European call option under
// geometric Brownian motion, e^{-rT} E[max(S_T - K, 0)] with S_T = S0 e^{(r - s^2/2)T + s sqrt(T) Z},
// whose closed form (Black and Scholes) checks the answer.
//
// Every rank draws its own normals (inverse distribution function: one uniform per normal),
// turns them into payoffs with the vector exponential, and keeps the summary of its payoffs from
// a statistics task: count, mean and sum of squared deviations. Rank 0 merges the summaries in
// rank order with the pairwise update of Chan, Golub and LeVeque, so the merged mean and
// variance are those of all the payoffs without moving them.
//
// Three ways to give each rank numbers of its own, each run in turn:
//   mt2203    member `rank` of the MT2203 family: independent generators, one per rank;
//   philox    Philox4x32-10 keyed by (seed, rank): independent counter streams;
//   mt19937   one MT19937 sequence cut into consecutive pieces: rank r skips r * n numbers.
// Run without mpirun and with --ranks R, the program plays ranks 0 .. R-1 itself, one after the
// other, and merges them the same way: the same numbers in the same order, so the same answer to
// the last bit, which is what ./zorp mpi compares. In that mode it also checks that the MT19937
// pieces are exactly one long sequence cut up, i.e. that skip-ahead counted the draws right, and
// that no two ranks start with the same numbers.
#include <mpi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zorp/zorp.hpp"

namespace {

constexpr int32_t kPerRank = 1 << 20;  // payoffs per rank
constexpr uint32_t kSeed = 20261207;
constexpr double kS0 = 100, kStrike = 105, kRate = 0.03, kSigma = 0.2, kYears = 1;

enum class Split { mt2203, philox, mt19937 };
const char* name(Split s) { return s == Split::mt2203 ? "mt2203" : s == Split::philox ? "philox" : "mt19937"; }

// Count, mean and sum of squared deviations of one set of payoffs.
struct Summary {
  double n = 0, mean = 0, m2 = 0;
};

// Two disjoint sets' summaries as one (Chan, Golub and LeVeque 1979).
Summary merge(const Summary& a, const Summary& b) {
  if (a.n == 0) return b;
  const double n = a.n + b.n, delta = b.mean - a.mean;
  return {n, a.mean + delta * (b.n / n), a.m2 + b.m2 + delta * delta * (a.n * b.n / n)};
}

// The stream of one rank. The library's calls throw zorp::error on failure; main reports it.
zorp::rng::stream rank_stream(Split split, int rank) {
  using zorp::rng::brng;
  if (split == Split::mt2203) return zorp::rng::stream(zorp::rng::member(brng::mt2203, static_cast<uint32_t>(rank)), kSeed);
  if (split == Split::philox) {
    const uint32_t key[2] = {kSeed, static_cast<uint32_t>(rank)};  // key words, counter from zero
    return zorp::rng::stream(brng::philox4x32x10, std::span<const uint32_t>(key));
  }
  zorp::rng::stream s(brng::mt19937, kSeed);
  s.skip_ahead(static_cast<uint64_t>(rank) * kPerRank);
  return s;
}

// The normals of one rank, from its own stream.
std::vector<double> normals(Split split, int rank) {
  std::vector<double> z(kPerRank);
  rank_stream(split, rank).gaussian(std::span<double>(z), 0.0, 1.0, zorp::rng::method::icdf);
  return z;
}

// One rank's work: payoffs from its normals and their summary from a statistics task.
Summary rank_summary(Split split, int rank) {
  std::vector<double> x = normals(split, rank);
  const double drift = (kRate - 0.5 * kSigma * kSigma) * kYears, vol = kSigma * std::sqrt(kYears);
  for (double& v : x) v = drift + vol * v;
  zorp::vm::exp(x, x, zorp::vm::accuracy::ha);  // in place
  for (double& v : x) v = std::max(kS0 * v - kStrike, 0.0);

  double mean = 0, raw2 = 0, var = 0, weights[2] = {0, 0};
  zorp::ss::task<double> task(x, 1, kPerRank);
  task.mean(std::span<double>(&mean, 1));
  task.edit(TARR_SS_PARAM_RAW_MOMENT_2, std::span<const double>(&raw2, 1));
  task.variance(std::span<double>(&var, 1));
  task.edit(TARR_SS_PARAM_ACCUM_WEIGHTS, std::span<const double>(weights));
  task.compute(TARR_SS_MEAN | TARR_SS_CENTRAL_MOMENT_2, TARR_SS_METHOD_1PASS);
  // The second central moment divides by n - 1 (weights[0] is the count).
  return {weights[0], mean, var * (weights[0] - 1)};
}

// The closed form the estimate should meet.
double black_scholes() {
  const double sq = kSigma * std::sqrt(kYears);
  const double d1 = (std::log(kS0 / kStrike) + (kRate + 0.5 * kSigma * kSigma) * kYears) / sq, d2 = d1 - sq;
  auto cdf = [](double v) { return 0.5 * std::erfc(-v / std::sqrt(2.0)); };
  return kS0 * cdf(d1) - kStrike * std::exp(-kRate * kYears) * cdf(d2);
}

// In the single-process mode: the pieces of the MT19937 split are one sequence cut up.
bool pieces_are_one_sequence(int ranks) {
  std::vector<double> whole(static_cast<size_t>(ranks) * kPerRank);
  zorp::rng::stream s(zorp::rng::brng::mt19937, kSeed);
  for (int r = 0; r < ranks; ++r)  // in requests of one rank's size: a request takes at most 2^31 - 1
    s.gaussian(std::span<double>(whole).subspan(static_cast<size_t>(r) * kPerRank, kPerRank), 0.0, 1.0,
               zorp::rng::method::icdf);
  for (int r = 0; r < ranks; ++r) {
    const std::vector<double> piece = normals(Split::mt19937, r);
    if (std::memcmp(piece.data(), whole.data() + static_cast<size_t>(r) * kPerRank, kPerRank * sizeof(double)))
      return false;
  }
  return true;
}

// In the single-process mode: no two ranks start with the same numbers under any split.
bool ranks_draw_apart(int ranks) {
  for (Split split : {Split::mt2203, Split::philox, Split::mt19937}) {
    std::vector<std::vector<double>> first;
    for (int r = 0; r < ranks; ++r) {
      const std::vector<double> z = normals(split, r);
      first.emplace_back(z.begin(), z.begin() + 8);
      for (int q = 0; q < r; ++q)
        if (first[static_cast<size_t>(q)] == first.back()) return false;
    }
  }
  return true;
}

// Every split in turn: the ranks' summaries merged on rank 0 and held to the closed form; in the
// single-process mode also the checks of the splits themselves. The exit code, on every rank.
int run(int rank, int size, int ranks) {
  bool ok = true;
  const double exact = black_scholes(), discount = std::exp(-kRate * kYears);
  for (Split split : {Split::mt2203, Split::philox, Split::mt19937}) {
    std::vector<Summary> all(static_cast<size_t>(ranks));
    if (size > 1) {
      const Summary mine = rank_summary(split, rank);
      MPI_Gather(&mine, 3, MPI_DOUBLE, all.data(), 3, MPI_DOUBLE, 0, MPI_COMM_WORLD);
    } else {
      for (int r = 0; r < ranks; ++r) all[static_cast<size_t>(r)] = rank_summary(split, r);
    }
    if (rank != 0) continue;
    Summary total;
    for (const Summary& s : all) total = merge(total, s);
    const double price = discount * total.mean;
    const double error = discount * std::sqrt(total.m2 / (total.n - 1) / total.n);
    const bool close = std::fabs(price - exact) <= 5 * error;  // five standard errors
    ok = ok && close;
    std::printf("%-8s %.0f payoffs: price %.17g, standard error %.3g, closed form %.6f: %s\n", name(split),
                total.n, price, error, exact, close ? "ok" : "FAILED");
  }
  if (rank == 0 && size == 1) {
    const bool cut = pieces_are_one_sequence(ranks), apart = ranks_draw_apart(ranks);
    ok = ok && cut && apart;
    std::fprintf(stderr, "MT19937 pieces are one sequence cut up: %s\n", cut ? "ok" : "FAILED");
    std::fprintf(stderr, "every rank draws numbers of its own: %s\n", apart ? "ok" : "FAILED");
  }
  int code = ok ? 0 : 1;
  MPI_Bcast(&code, 1, MPI_INT, 0, MPI_COMM_WORLD);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  int rank = 0, size = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  int played = 1;  // ranks this process plays
  if (argc == 3 && !std::strcmp(argv[1], "--ranks")) played = std::atoi(argv[2]);
  if (size > 1 && played != 1) {
    if (rank == 0) std::fprintf(stderr, "--ranks is for a run without mpirun\n");
    MPI_Finalize();
    return 2;
  }
  if (played < 1 || played > 1024) return 2;
  const int ranks = size > 1 ? size : played;
  if (rank == 0) std::fprintf(stderr, "%d ranks, %s\n", ranks, size > 1 ? "one per MPI process" : "played in turn by one process");

  int code = 1;
  try {
    code = run(rank, size, ranks);
  } catch (const zorp::error& e) {
    std::fprintf(stderr, "rank %d: %s (status %d)\n", rank, e.what(), e.status());
    MPI_Abort(MPI_COMM_WORLD, 1);
  }
  MPI_Finalize();
  return code;
}
