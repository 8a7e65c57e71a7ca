// How alike the submissions of a class are, compared as instruction
// sequences: labels, addresses and constants do not count, only which
// instructions the code holds and in what order. Identical submissions are
// told apart from those merely alike: the same instructions with the same
// operands, whatever their labels are called.
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
    // Identical submissions: the same program once assembled (the same
    // image, zeros at its end aside), so the same instructions with the same
    // operands whatever their labels are called; each group in ascending
    // order of index and of two or more; the groups ordered by their first
    // two indexes. With a skeleton or without.
    std::vector<std::vector<std::size_t>> identical;
    // Pairs of submissions that are not identical, most similar first (then
    // by index): a score of 1 is the same instruction sequence with other
    // operands or data. A group of identical submissions takes part as its
    // first one.
    std::vector<SimilarPair> pairs;
    // Whether the code of a skeleton was left out of the comparison.
    bool skeletonExcluded = false;
};

// The code that every student received (a skeleton to complete) does not
// count: from each sequence, every instruction that lies in a stretch of at
// least SKELETON_RUN instructions in a row that the skeleton's sequence also
// holds, in the same order, is left out. Shorter stretches are too common
// to tell: CLZ, DEC, JPZ, JMP is every counted loop.
constexpr std::size_t SKELETON_RUN = 5;

// A sequence without what it shares with the skeleton's, as above; the
// instructions left keep their order.
std::vector<Byte> withoutSkeleton(const std::vector<Byte>& sequence, const std::vector<Byte>& skeleton);

// The instructions of an image's code (what control flow reaches from 0),
// in address order, operands left out: one token for each.
std::vector<Byte> instructionSequence(const std::vector<Byte>& image);

// How alike two instruction sequences are, 0 to 1; symmetric.
double sequenceSimilarity(const std::vector<Byte>& a, const std::vector<Byte>& b);

// The runnable submissions alike: first the groups of identical ones,
// then the pairs at least MIN_REPORTED_SIMILARITY alike, at most
// MAX_REPORTED_PAIRS entries in all. Identical submissions are compared with
// the others once, and only the entries shown are kept while comparing.
Similarities similarPairs(const std::vector<SubmissionResult>& results);

// The same with the skeleton's instruction sequence left out of each
// submission's before it is compared (withoutSkeleton). Identical
// submissions are still identical; a submission left with fewer than
// SKELETON_RUN instructions of its own is compared with none, so that those
// who only kept the skeleton are not found alike for it.
Similarities similarPairs(const std::vector<SubmissionResult>& results, const std::vector<Byte>& skeleton);

}  // namespace tarn::grading
