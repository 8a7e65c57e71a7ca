// How alike the submissions of a class are, compared as instruction
// sequences: labels, addresses and constants do not count, only which
// instructions the code holds and in what order.
#pragma once

#include "machine/machine_state.hpp"
#include "grading/grader.hpp"

#include <cstddef>
#include <vector>

namespace tarn::grading {

// Pairs less alike than this are not reported, and at most so many entries
// (groups of identical submissions and pairs together) are.
constexpr double MIN_REPORTED_SIMILARITY = 0.6;
constexpr std::size_t MAX_REPORTED_PAIRS = 20;

struct SimilarPair {
    std::size_t first = 0;   // indexes into the results, first < second
    std::size_t second = 0;
    double score = 0;        // 0 (nothing alike) to 1 (the same sequence)
};

// What --somiglianze finds in a class.
struct Similarities {
    // Submissions whose instruction sequences are the same, each group in
    // ascending order of index and of two or more; the groups ordered by
    // their first two indexes.
    std::vector<std::vector<std::size_t>> identical;
    // Pairs of different sequences, most similar first (then by index). A
    // group of identical submissions takes part as its first one.
    std::vector<SimilarPair> pairs;
};

// The instructions of an image's code (what control flow reaches from 0),
// in address order, operands left out: one token for each.
std::vector<Byte> instructionSequence(const std::vector<Byte>& image);

// How alike two instruction sequences are, 0 to 1; symmetric.
double sequenceSimilarity(const std::vector<Byte>& a, const std::vector<Byte>& b);

// The runnable submissions alike: first the groups of identical ones (100 %),
// then the pairs at least MIN_REPORTED_SIMILARITY alike, at most
// MAX_REPORTED_PAIRS entries in all. Identical submissions are compared with
// the others once, and only the entries shown are kept while comparing.
Similarities similarPairs(const std::vector<SubmissionResult>& results);

}  // namespace tarn::grading
