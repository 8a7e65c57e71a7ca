#include "grading/similarity.hpp"

#include "machine/instruction_set.hpp"
#include "assembly/instruction_forms.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>
#include <tuple>
#include <unordered_map>

// How alike two programs are.
//
// A program is reduced to the opcodes of the instructions its control flow
// reaches, in address order: renaming labels, moving code or data elsewhere
// and changing constants or addresses leave that sequence as it was. Every
// opcode the table does not list does nothing, so all of them, and the
// four-byte ones that load nothing, become the one token of NOP.
//
// Two sequences are then compared by two measures, and the score is their
// mean:
//
// - Dice's coefficient on the multisets of their 2-grams (pairs of
//   consecutive tokens), each sequence padded with a boundary mark at either
//   end so that a program of one instruction still has a gram and its first
//   and last instructions weigh as much as the others. Grams ignore where a
//   block stands: moving whole blocks around breaks only the grams across
//   their edges. Pairs rather than longer grams, because programs of a few
//   dozen instructions have few grams: with triples every inserted
//   instruction breaks two of them and three NOPs in ten instructions halve
//   the score; pairs already tell apart two solutions built from the same
//   handful of instructions used in another order.
// - The longest common subsequence, as 2 * LCS / (|a| + |b|). It follows
//   the order of the whole program and is hardly moved by junk inserted
//   between the instructions, but it is high by chance on a small
//   alphabet and falls when blocks move.
//
// Each measure covers the other's weak side, and the mean stays high only
// when both find the programs alike. Both are symmetric and in [0, 1], and
// both are 1 exactly for equal sequences; two empty sequences have nothing
// to compare and score 0.
//
// The grams of every program are found once, as sorted keys; the bit masks
// of a bit-parallel LCS (Allison and Dix, Hyyrö) are found for one program
// at a time, compared with all those after it. Each pair then costs a merge
// and a few word operations per instruction, and a pair whose grams alone
// keep it below the scores still in the running skips the LCS.
//
// A skeleton that every student received would make every pair alike: its
// code is left out of each sequence before the comparison, every instruction
// in a stretch of SKELETON_RUN in a row that the skeleton holds too (the
// pieces left are joined). Stretches are found by their keys, sorted once,
// so that leaving it out costs a search per instruction.
//
// Identical is stricter than alike at 100 %: the same instructions with the
// same operands, labels renamed as one pleases, which is the same image once
// assembled (zeros at its end aside: memory holds them anyway). Two programs
// whose jumps go to swapped targets have the same sequence, and score 1, but
// are not identical. The skeleton changes nothing in this.
//
// A class can be large, and made of copies. Identical submissions are one
// group, reported as such and compared with the others once, as the first of
// them; and only the pairs that can still be shown are kept while comparing,
// the least alike of them setting the score that the next pair must reach.
// Memory thus grows with the class, not with its pairs.

namespace tarn::grading {

namespace {

constexpr std::size_t GRAM = 2;

// A token of a sequence as a key: 1 + the byte, 0 for a boundary mark.
constexpr unsigned TOKEN_BITS = 9;

// What a sequence is compared by, found once; the masks only for the
// program on the left of the comparisons under way.
struct Profile {
    std::size_t length = 0;
    std::vector<std::uint32_t> grams;   // sorted
    std::size_t words = 0;              // 64-bit words of a bit mask over the sequence
    std::vector<std::uint64_t> masks;   // 256 * words: where each byte value stands
};

Profile profileOf(const std::vector<Byte>& sequence) {
    Profile profile;
    profile.length = sequence.size();
    if (sequence.empty()) return profile;

    // Padded with GRAM - 1 marks on both sides: length + GRAM - 1 grams.
    const std::size_t padded = sequence.size() + 2 * (GRAM - 1);
    const auto keyAt = [&](std::size_t index) -> std::uint32_t {
        if (index < GRAM - 1 || index >= GRAM - 1 + sequence.size()) return 0;
        return std::uint32_t{sequence[index - (GRAM - 1)]} + 1u;
    };
    profile.grams.reserve(padded - GRAM + 1);
    for (std::size_t start = 0; start + GRAM <= padded; ++start) {
        std::uint32_t gram = 0;
        for (std::size_t offset = 0; offset < GRAM; ++offset) gram = (gram << TOKEN_BITS) | keyAt(start + offset);
        profile.grams.push_back(gram);
    }
    std::sort(profile.grams.begin(), profile.grams.end());
    profile.words = (sequence.size() + 63) / 64;
    return profile;
}

void findMasks(Profile& profile, const std::vector<Byte>& sequence) {
    profile.masks.assign(256 * profile.words, 0);
    for (std::size_t index = 0; index < sequence.size(); ++index)
        profile.masks[std::size_t{sequence[index]} * profile.words + index / 64] |= std::uint64_t{1} << (index % 64);
}

// How many grams the two multisets share.
std::size_t commonGrams(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    std::size_t common = 0;
    auto i = a.begin();
    auto j = b.begin();
    while (i != a.end() && j != b.end()) {
        if (*i < *j) {
            ++i;
        } else if (*j < *i) {
            ++j;
        } else {
            ++common;
            ++i;
            ++j;
        }
    }
    return common;
}

// How many positions of a the subsequence found so far uses: the zeros of row.
std::size_t usedPositions(const Profile& a, const std::vector<std::uint64_t>& row) {
    std::size_t used = 0;
    for (std::size_t word = 0; word < a.words; ++word) {
        std::uint64_t zeros = ~row[word];
        const std::size_t bits = std::min<std::size_t>(64, a.length - word * 64);
        if (bits < 64) zeros &= (std::uint64_t{1} << bits) - 1;
        used += static_cast<std::size_t>(std::popcount(zeros));
    }
    return used;
}

// Tokens of b between two looks at whether the pair can still score enough.
constexpr std::size_t LCS_CHECK_EVERY = 32;

// The length of the longest common subsequence of the sequence profiled in a
// and the sequence b. The bits of row hold a 0 for every position of a that
// the subsequence found so far uses; each token of b adds the positions
// where a holds the same token, one per run of free positions. Every
// LCS_CHECK_EVERY tokens, stillPossible(length) is asked whether the pair can
// still score enough with a subsequence as long as the one found so far plus
// every token of b left; when it cannot, the result is 0.
template <typename StillPossible>
std::size_t longestCommonSubsequence(const Profile& a, const std::vector<Byte>& b, std::vector<std::uint64_t>& row,
                                     const StillPossible& stillPossible) {
    row.assign(a.words, ~std::uint64_t{0});
    for (std::size_t index = 0; index < b.size(); ++index) {
        if (index % LCS_CHECK_EVERY == 0 && index > 0 &&
            !stillPossible(usedPositions(a, row) + (b.size() - index)))
            return 0;
        const std::uint64_t* mask = &a.masks[std::size_t{b[index]} * a.words];
        std::uint64_t carry = 0;
        for (std::size_t word = 0; word < a.words; ++word) {
            const std::uint64_t v = row[word];
            const std::uint64_t u = v & mask[word];
            // (v + u + carry) over the words, without overflow in signed types.
            const std::uint64_t sum = v + u;
            const std::uint64_t carried = sum + carry;
            const std::uint64_t nextCarry = (sum < v ? 1u : 0u) | (carried < sum ? 1u : 0u);
            row[word] = carried | (v & ~mask[word]);
            carry = nextCarry;
        }
    }
    return usedPositions(a, row);
}

double diceOf(const Profile& a, const Profile& b) {
    return 2.0 * static_cast<double>(commonGrams(a.grams, b.grams)) /
           static_cast<double>(a.grams.size() + b.grams.size());
}

double lcsOf(const Profile& a, const Profile& b, std::size_t common) {
    return 2.0 * static_cast<double>(common) / static_cast<double>(a.length + b.length);
}

// The score of two profiled sequences, b's tokens given. When it is below
// `floor`, it may stop early and return some score below `floor` instead:
// before the LCS when the grams alone keep it below (the LCS is at most the
// shorter sequence), or during the LCS, which then counts as 0.
double similarity(const Profile& a, const Profile& b, const std::vector<Byte>& bSequence,
                  std::vector<std::uint64_t>& row, double floor = 0) {
    if (a.length == 0 || b.length == 0) return 0;
    const double dice = diceOf(a, b);
    // The score with an LCS of this length: the bound is the same expression.
    const auto scoreWith = [&](std::size_t common) { return (dice + lcsOf(a, b, common)) / 2; };
    if (scoreWith(std::min(a.length, b.length)) < floor) return 0;
    const std::size_t common = longestCommonSubsequence(
        a, bSequence, row, [&](std::size_t atMost) { return scoreWith(atMost) >= floor; });
    return std::clamp(scoreWith(common), 0.0, 1.0);
}

// The stretches of SKELETON_RUN instructions in a row of a skeleton's
// sequence, as sorted keys of SKELETON_RUN bytes each.
class SkeletonRuns {
public:
    explicit SkeletonRuns(const std::vector<Byte>& skeleton) {
        for (std::size_t start = 0; start + SKELETON_RUN <= skeleton.size(); ++start)
            keys_.push_back(keyAt(skeleton, start));
        std::sort(keys_.begin(), keys_.end());
        keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
    }

    // The sequence without every instruction in a stretch the skeleton holds.
    std::vector<Byte> leftOf(const std::vector<Byte>& sequence) const {
        if (keys_.empty()) return sequence;
        // How many of the skeleton's stretches cover each instruction, by
        // where they begin and end.
        std::vector<int> covering(sequence.size() + 1, 0);
        for (std::size_t start = 0; start + SKELETON_RUN <= sequence.size(); ++start) {
            if (!std::binary_search(keys_.begin(), keys_.end(), keyAt(sequence, start))) continue;
            ++covering[start];
            --covering[start + SKELETON_RUN];
        }
        std::vector<Byte> left;
        int depth = 0;
        for (std::size_t index = 0; index < sequence.size(); ++index) {
            depth += covering[index];
            if (depth == 0) left.push_back(sequence[index]);
        }
        return left;
    }

private:
    static_assert(SKELETON_RUN <= 8, "a stretch is a key of 64 bits");
    static std::uint64_t keyAt(const std::vector<Byte>& sequence, std::size_t start) {
        std::uint64_t key = 0;
        for (std::size_t offset = 0; offset < SKELETON_RUN; ++offset) key = (key << 8) | sequence[start + offset];
        return key;
    }

    std::vector<std::uint64_t> keys_;
};

Similarities compareClass(const std::vector<SubmissionResult>& results, const SkeletonRuns* skeleton);

}  // namespace

std::vector<Byte> instructionSequence(const std::vector<Byte>& image) {
    const std::array<ByteRole, 256> roles = findCode(image);
    std::vector<Byte> sequence;
    for (std::size_t address = 0; address < roles.size(); ++address) {
        if (roles[address] != ByteRole::Start) continue;
        const Byte opcode = image[address];
        // Unlisted opcodes, the four-byte ones among them, do what NOP does.
        sequence.push_back(findInstruction(opcode) == nullptr || instructionLength(opcode) == 4 ? opcodeOf(Op::Nop) : opcode);
    }
    return sequence;
}

double sequenceSimilarity(const std::vector<Byte>& a, const std::vector<Byte>& b) {
    Profile left = profileOf(a);
    findMasks(left, a);
    std::vector<std::uint64_t> row;
    return similarity(left, profileOf(b), b, row);
}

std::vector<Byte> withoutSkeleton(const std::vector<Byte>& sequence, const std::vector<Byte>& skeleton) {
    return SkeletonRuns(skeleton).leftOf(sequence);
}

Similarities similarPairs(const std::vector<SubmissionResult>& results) {
    return compareClass(results, nullptr);
}

Similarities similarPairs(const std::vector<SubmissionResult>& results, const std::vector<Byte>& skeleton) {
    const SkeletonRuns runs(skeleton);
    Similarities found = compareClass(results, &runs);
    found.skeletonExcluded = true;
    return found;
}

namespace {

// What makes two programs identical: their images without the zeros at the end.
std::string identityOf(const std::vector<Byte>& image) {
    std::size_t size = std::min<std::size_t>(image.size(), 256);
    while (size > 0 && image[size - 1] == 0) --size;
    return std::string(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(size));
}

Similarities compareClass(const std::vector<SubmissionResult>& results, const SkeletonRuns* skeleton) {
    // The distinct programs, in the order of their first submission, with
    // every submission identical to them; each compared by its sequence,
    // without the skeleton's code when there is one.
    struct Program {
        std::vector<Byte> sequence;
        Profile profile;
        std::vector<std::size_t> members;
    };
    std::vector<Program> programs;
    std::unordered_map<std::string, std::size_t> seen;
    for (std::size_t index = 0; index < results.size(); ++index) {
        if (!results[index].submission.runnable()) continue;
        const std::vector<Byte>& image = results[index].submission.image;
        std::vector<Byte> sequence = instructionSequence(image);
        if (sequence.empty()) continue;  // nothing to compare: alike to nothing
        const auto [entry, added] = seen.try_emplace(identityOf(image), programs.size());
        if (!added) {
            programs[entry->second].members.push_back(index);
            continue;
        }
        if (skeleton != nullptr) sequence = skeleton->leftOf(sequence);
        Profile profile = profileOf(sequence);
        programs.push_back({std::move(sequence), std::move(profile), {index}});
    }
    seen.clear();

    Similarities found;
    for (Program& program : programs) {
        if (found.identical.size() == MAX_REPORTED_PAIRS) break;
        if (program.members.size() > 1) found.identical.push_back(program.members);
    }
    // With a skeleton, a program left with too little of its own is
    // compared with none: only what it shares with the skeleton would match.
    if (skeleton != nullptr)
        std::erase_if(programs, [](const Program& program) { return program.sequence.size() < SKELETON_RUN; });

    // The best pairs so far, the least alike of them on top of the heap.
    const auto before = [](const SimilarPair& x, const SimilarPair& y) {
        if (x.score != y.score) return x.score > y.score;
        return std::tie(x.first, x.second) < std::tie(y.first, y.second);
    };
    const std::size_t room = MAX_REPORTED_PAIRS - found.identical.size();
    std::vector<SimilarPair>& best = found.pairs;
    best.reserve(room);
    double floor = MIN_REPORTED_SIMILARITY;
    std::vector<std::uint64_t> row;
    for (std::size_t i = 0; room > 0 && i < programs.size(); ++i) {
        Program& left = programs[i];
        findMasks(left.profile, left.sequence);
        for (std::size_t j = i + 1; j < programs.size(); ++j) {
            const Program& right = programs[j];
            const double score = similarity(left.profile, right.profile, right.sequence, row, floor);
            if (score < floor) continue;
            const SimilarPair pair{left.members.front(), right.members.front(), score};
            if (best.size() == room) {
                if (!before(pair, best.front())) continue;
                std::pop_heap(best.begin(), best.end(), before);
                best.back() = pair;
            } else {
                best.push_back(pair);
            }
            std::push_heap(best.begin(), best.end(), before);
            if (best.size() == room) floor = std::max(floor, best.front().score);
        }
        std::vector<std::uint64_t>().swap(left.profile.masks);  // its memory too, not only its size
    }
    std::sort_heap(best.begin(), best.end(), before);
    return found;
}

}  // namespace

}  // namespace tarn::grading
