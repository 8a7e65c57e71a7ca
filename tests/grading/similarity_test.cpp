#include "grading/similarity.hpp"

#include "machine/instruction_set.hpp"
#include "assembly/assembler.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace tarn::grading {
namespace {

std::vector<Byte> imageOf(const std::string& source) {
    const Assembly assembly = assemble(source);
    EXPECT_FALSE(assembly.failed()) << source;
    return assembly.image;
}

double imageSimilarity(const std::string& a, const std::string& b) {
    return sequenceSimilarity(instructionSequence(imageOf(a)), instructionSequence(imageOf(b)));
}

// Counts down a number read from the input, adding one to a digit each time.
const std::string COUNTING = R"(
        JMP inizio
        ORG 0x10
inizio: INP numero
ciclo:  CLZ
        CMP numero, zero
        JPZ fine
        INC somma
        DEC numero
        JMP ciclo
fine:   WRT somma
        RST
numero: DB 0, 0
somma:  DB '0', 0
zero:   DB 0
)";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

// The counting program with a label renamed and a comment: the same program
// once assembled.
const std::string COUNTING_RENAMED =
    replaced(replaced(COUNTING, "JPZ fine", "JPZ basta  ; finito"), "fine:   WRT", "basta:  WRT");

// The same program, disguised: other labels, the code and the data elsewhere,
// other constants, comments.
const std::string COUNTING_DISGUISED = R"(
; il mio programma
        JMP start
        ORG 0x60
valore: DB 7, 0, 0, 0       ; spazio in più
car:    DB 'A', 0
vuoto:  DB 9
start:  INP valore          ; legge
loop:   CLZ
        CMP valore, vuoto
        JPZ esci
        INC car
        DEC valore
        JMP loop
esci:   WRT car
        RST
)";

// The counting program with NOPs between its instructions.
const std::string COUNTING_PADDED = R"(
        JMP inizio
        ORG 0x10
inizio: INP numero
        NOP
ciclo:  CLZ
        CMP numero, zero
        NOP
        JPZ fine
        INC somma
        DEC numero
        NOP
        JMP ciclo
fine:   WRT somma
        RST
numero: DB 0, 0
somma:  DB '0', 0
zero:   DB 0
)";

// The counting program with its two blocks the other way round.
const std::string COUNTING_REORDERED = R"(
        JMP inizio
fine:   WRT somma
        RST
inizio: INP numero
ciclo:  CLZ
        CMP numero, zero
        JPZ fine
        INC somma
        DEC numero
        JMP ciclo
numero: DB 0, 0
somma:  DB '0', 0
zero:   DB 0
)";

// Another technique altogether: two digits read, added and divided by ten.
const std::string ARITHMETIC = R"(
        INP testo
        INP testo+4
        ADD somma, testo
        SUB somma, car0
        ADD seconda, testo+4
        SUB seconda, car0
        ADD somma, seconda
        DIV somma, resto
        ADD somma, car0
        ADD resto, car0
        WRT testo
        WRT somma
        WRT resto
        RST
testo:   DB "? + ? = ", 0
somma:   DB 0, 0
seconda: DB 0
resto:   DB 10, "\n", 0
car0:    DB '0'
)";

// A table summed in a loop over X, and the same sum written out by hand.
const std::string TABLE_LOOP = R"(
        VALOFFST 0
ciclo:  CLZ
        CMP tabella, zero
        JPZ fine
        ADD tabella, somma
        INCOFFST
        JMP ciclo
fine:   VALOFFST 0
        CPY somma, risultato
        RST
tabella: DB 5, 7, 9, 0
somma:   DB 0
zero:    DB 0
risultato: DB 0
)";
const std::string TABLE_UNROLLED = R"(
        ADD somma, tabella
        ADD somma, tabella+1
        ADD somma, tabella+2
        ADD somma, tabella+3
        CPY somma, risultato
        RST
tabella: DB 5, 7, 9, 0
somma:   DB 0
risultato: DB 0
)";

TEST(Similarity, SequenceKeepsTheReachedOpcodesAndAbstractsTheRest) {
    // Operands, data and unreached bytes are left out; every unlisted opcode,
    // one-byte or four-byte, is the NOP token.
    const Byte nop = opcodeOf(Op::Nop);
    const Byte wrt = opcodeOf(Op::Wrt);
    const Byte jmp = opcodeOf(Op::Jmp);
    const Byte rst = opcodeOf(Op::Rst);
    ASSERT_EQ(findInstruction(Byte{0x3F}), nullptr);
    ASSERT_EQ(findInstruction(Byte{0xC5}), nullptr);
    const std::vector<Byte> image = {
        wrt, 0x20,               // 0
        0x3F,                    // 2: unlisted, one byte
        0xC5, 0x47, 0x47, 0x47,  // 3: four bytes, nothing loaded: the 0x47s are no WRT
        nop,                     // 7
        jmp, 0x0C,               // 8
        wrt, 0x20,               // 10: jumped over
        rst,                     // 12
    };
    EXPECT_EQ(instructionSequence(image), (std::vector<Byte>{wrt, nop, nop, nop, jmp, rst}));
    EXPECT_EQ(instructionSequence({}), std::vector<Byte>{});
    EXPECT_EQ(instructionSequence({rst, wrt, wrt}), std::vector<Byte>{rst});
}

TEST(Similarity, DisguisedCopyIsTheSameProgram) {
    EXPECT_NE(imageOf(COUNTING), imageOf(COUNTING_DISGUISED));
    EXPECT_EQ(instructionSequence(imageOf(COUNTING)), instructionSequence(imageOf(COUNTING_DISGUISED)));
    EXPECT_DOUBLE_EQ(imageSimilarity(COUNTING, COUNTING_DISGUISED), 1.0);
}

TEST(Similarity, EditedCopiesStayCloseAndOtherTechniquesScoreLow) {
    const struct {
        const std::string* a;
        const std::string* b;
        double low;
        double high;
    } cases[] = {
        {&COUNTING, &COUNTING_PADDED, 0.7, 0.9},     // junk inserted: lower, only a little
        {&COUNTING, &COUNTING_REORDERED, 0.7, 0.9},  // blocks moved
        {&COUNTING, &ARITHMETIC, 0.0, 0.45},
        {&TABLE_LOOP, &TABLE_UNROLLED, 0.0, 0.5},
        {&ARITHMETIC, &TABLE_UNROLLED, 0.0, 0.5},
    };
    for (const auto& c : cases) {
        const double score = imageSimilarity(*c.a, *c.b);
        EXPECT_GE(score, c.low) << *c.a << *c.b;
        EXPECT_LE(score, c.high) << *c.a << *c.b;
    }
    EXPECT_GE(imageSimilarity(COUNTING, COUNTING_PADDED), MIN_REPORTED_SIMILARITY);
    EXPECT_LT(imageSimilarity(COUNTING, ARITHMETIC), MIN_REPORTED_SIMILARITY);
}

// The measure as its definition reads: Dice on the multisets of 2-grams of
// the sequences padded with a mark at either end, and 2 LCS / (|a| + |b|)
// by the textbook table, averaged.
double plainSimilarity(const std::vector<Byte>& a, const std::vector<Byte>& b) {
    if (a.empty() || b.empty()) return 0;
    const auto grams = [](const std::vector<Byte>& s) {
        std::vector<int> padded = {-1};
        padded.insert(padded.end(), s.begin(), s.end());
        padded.push_back(-1);
        std::map<std::pair<int, int>, int> counts;
        for (std::size_t i = 0; i + 2 <= padded.size(); ++i) ++counts[{padded[i], padded[i + 1]}];
        return counts;
    };
    const auto ga = grams(a);
    const auto gb = grams(b);
    double common = 0;
    for (const auto& [gram, count] : ga)
        if (const auto found = gb.find(gram); found != gb.end()) common += std::min(count, found->second);
    const double dice = 2 * common / static_cast<double>(a.size() + 1 + b.size() + 1);
    std::vector<std::vector<std::size_t>> table(a.size() + 1, std::vector<std::size_t>(b.size() + 1, 0));
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j)
            table[i][j] = a[i - 1] == b[j - 1] ? table[i - 1][j - 1] + 1 : std::max(table[i - 1][j], table[i][j - 1]);
    const double lcs = 2 * static_cast<double>(table[a.size()][b.size()]) / static_cast<double>(a.size() + b.size());
    return (dice + lcs) / 2;
}

TEST(Similarity, MeasureIsSymmetricBoundedAndMatchesItsDefinition) {
    EXPECT_EQ(sequenceSimilarity({}, {}), 0.0);
    EXPECT_EQ(sequenceSimilarity({}, {1, 2, 3}), 0.0);
    EXPECT_EQ(sequenceSimilarity({7}, {7}), 1.0);
    EXPECT_EQ(sequenceSimilarity({7}, {8}), 0.0);

    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        // Lengths across one, two and more words of the bit masks, alphabets
        // small enough for long common runs.
        const std::size_t alphabet = 1 + random() % 6;
        const auto make = [&] {
            std::vector<Byte> s(random() % 200);
            for (Byte& token : s) token = static_cast<Byte>(0x40 + random() % alphabet);
            return s;
        };
        std::vector<Byte> a = make();
        std::vector<Byte> b = round % 3 == 0 ? a : make();
        if (round % 3 == 0 && !b.empty()) b.erase(b.begin() + static_cast<std::ptrdiff_t>(random() % b.size()));
        const double ab = sequenceSimilarity(a, b);
        EXPECT_EQ(ab, sequenceSimilarity(b, a));
        EXPECT_GE(ab, 0.0);
        EXPECT_LE(ab, 1.0);
        EXPECT_NEAR(ab, plainSimilarity(a, b), 1e-12) << "round " << round;
        if (!a.empty()) {
            EXPECT_EQ(sequenceSimilarity(a, a), 1.0);
        }
    }
}

SubmissionResult resultOf(const std::string& source, bool runnable = true) {
    SubmissionResult result;
    result.submission.image = imageOf(source);
    if (!runnable) result.submission.problems.push_back("prova.asm:1:1: errore: qualcosa");
    return result;
}

TEST(Similarity, IdenticalSubmissionsAreGroupedAndComparedOnce) {
    // 0 and 4 the same program (4 with other labels); 1 and 5 the same; 2
    // another technique; 3 the same as 0 but it could not run.
    const std::vector<SubmissionResult> results = {
        resultOf(COUNTING),        resultOf(COUNTING_PADDED),  resultOf(ARITHMETIC),
        resultOf(COUNTING, false), resultOf(COUNTING_RENAMED), resultOf(COUNTING_PADDED),
    };
    const Similarities found = similarPairs(results);
    EXPECT_EQ(found.identical, (std::vector<std::vector<std::size_t>>{{0, 4}, {1, 5}}));
    // The two groups compared once, each as its first submission.
    ASSERT_EQ(found.pairs.size(), 1u);
    EXPECT_EQ(found.pairs[0].first, 0u);
    EXPECT_EQ(found.pairs[0].second, 1u);
    EXPECT_DOUBLE_EQ(found.pairs[0].score, imageSimilarity(COUNTING, COUNTING_PADDED));

    // A class of copies is one group, whatever its size; an empty program
    // (nothing to compare) is in no group.
    std::vector<SubmissionResult> copies(3000, resultOf(COUNTING));
    copies[1] = resultOf(ARITHMETIC);
    copies[2].submission.image.clear();
    copies[7].submission.image.clear();
    const Similarities copied = similarPairs(copies);
    ASSERT_EQ(copied.identical.size(), 1u);
    ASSERT_EQ(copied.identical[0].size(), 2997u);
    EXPECT_EQ(copied.identical[0][0], 0u);
    EXPECT_EQ(copied.identical[0][1], 3u);
    EXPECT_EQ(copied.identical[0].back(), 2999u);
    EXPECT_TRUE(copied.pairs.empty());

    // Groups count among the entries shown: 25 groups of two, 20 shown, by index.
    std::vector<SubmissionResult> pairsOfCopies;
    std::mt19937 random(25);
    for (int group = 0; group < 25; ++group) {
        SubmissionResult result;
        result.submission.image.resize(64);
        for (Byte& byte : result.submission.image) byte = static_cast<Byte>(1 + random() % 15);
        pairsOfCopies.push_back(result);
        pairsOfCopies.push_back(result);
    }
    const Similarities capped = similarPairs(pairsOfCopies);
    ASSERT_EQ(capped.identical.size(), MAX_REPORTED_PAIRS);
    for (std::size_t i = 0; i < capped.identical.size(); ++i)
        EXPECT_EQ(capped.identical[i], (std::vector<std::size_t>{2 * i, 2 * i + 1}));
    EXPECT_TRUE(capped.pairs.empty());

    EXPECT_TRUE(similarPairs({}).identical.empty());
    EXPECT_TRUE(similarPairs({}).pairs.empty());
}

// Every pair compared, all kept, then sorted and cut: how the pairs were
// found before the comparison kept only those it shows.
std::vector<SimilarPair> allPairs(const std::vector<SubmissionResult>& results, std::size_t room) {
    std::vector<SimilarPair> pairs;
    for (std::size_t i = 0; i < results.size(); ++i)
        for (std::size_t j = i + 1; j < results.size(); ++j) {
            if (!results[i].submission.runnable() || !results[j].submission.runnable()) continue;
            const double score = sequenceSimilarity(instructionSequence(results[i].submission.image),
                                                    instructionSequence(results[j].submission.image));
            if (score >= MIN_REPORTED_SIMILARITY) pairs.push_back({i, j, score});
        }
    std::stable_sort(pairs.begin(), pairs.end(), [](const SimilarPair& x, const SimilarPair& y) {
        return x.score > y.score;
    });
    if (pairs.size() > room) pairs.resize(room);
    return pairs;
}

// A class of variations of one random program: a few of its instructions
// changed in each, so that most pairs are alike and many score the same.
std::vector<SubmissionResult> variations(std::size_t count, std::size_t length, std::size_t changes,
                                         std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<Byte> base(length);
    for (Byte& byte : base) byte = static_cast<Byte>(1 + random() % 15);
    std::vector<SubmissionResult> results(count);
    for (SubmissionResult& result : results) {
        result.submission.image = base;
        for (std::size_t change = 0; change < changes; ++change)
            result.submission.image[random() % length] = static_cast<Byte>(1 + random() % 15);
    }
    return results;
}

TEST(Similarity, ShownPairsAreTheBestOfAllPairs) {
    // Distinct programs: the same pairs, in the same order, with the same
    // scores as when every pair was kept; some classes with fewer pairs
    // than the cap, some with many more, ties among them.
    const struct {
        std::size_t count, length, changes;
    } classes[] = {{6, 30, 3}, {40, 30, 2}, {60, 120, 12}, {40, 8, 1}, {30, 200, 60}};
    for (const auto& c : classes) {
        std::vector<SubmissionResult> results = variations(c.count, c.length, c.changes, static_cast<std::uint32_t>(c.count * c.length));
        results[1].submission.problems.push_back("prova.asm:1:1: errore: qualcosa");
        // Keep them distinct: this test is about the pairs.
        for (std::size_t i = 0; i < results.size(); ++i)
            for (std::size_t j = 0; j < i; ++j)
                if (instructionSequence(results[i].submission.image) == instructionSequence(results[j].submission.image))
                    results[i].submission.image.clear();
        const Similarities found = similarPairs(results);
        EXPECT_TRUE(found.identical.empty());
        const std::vector<SimilarPair> expected = allPairs(results, MAX_REPORTED_PAIRS);
        ASSERT_EQ(found.pairs.size(), expected.size()) << c.count << " x " << c.length;
        for (std::size_t index = 0; index < expected.size(); ++index) {
            EXPECT_EQ(found.pairs[index].first, expected[index].first) << index;
            EXPECT_EQ(found.pairs[index].second, expected[index].second) << index;
            EXPECT_EQ(found.pairs[index].score, expected[index].score) << index;
        }
    }

    // With copies among them: the groups, then the best pairs of the
    // distinct programs (each group as its first), as many as are left.
    std::vector<SubmissionResult> results = variations(30, 16, 1, 7);
    results.push_back(results[3]);
    results.push_back(results[3]);
    results.push_back(results[10]);
    const Similarities found = similarPairs(results);
    std::vector<std::vector<std::size_t>> groups;
    std::vector<SubmissionResult> firsts = results;
    for (std::size_t i = 0; i < results.size(); ++i) {
        std::vector<std::size_t> group = {i};
        for (std::size_t j = i + 1; j < results.size(); ++j)
            if (results[j].submission.image == results[i].submission.image) group.push_back(j);
        bool later = false;
        for (std::size_t j = 0; j < i; ++j) later = later || results[j].submission.image == results[i].submission.image;
        if (later) firsts[i].submission.problems.push_back("una copia");
        else if (group.size() > 1) groups.push_back(group);
    }
    ASSERT_GE(groups.size(), 2u);
    EXPECT_EQ(found.identical, groups);
    const std::vector<SimilarPair> expected = allPairs(firsts, MAX_REPORTED_PAIRS - groups.size());
    ASSERT_EQ(found.pairs.size(), expected.size());
    for (std::size_t index = 0; index < expected.size(); ++index) {
        EXPECT_EQ(found.pairs[index].first, expected[index].first) << index;
        EXPECT_EQ(found.pairs[index].second, expected[index].second) << index;
        EXPECT_EQ(found.pairs[index].score, expected[index].score) << index;
    }
}

TEST(Similarity, LargeClassOfFullImages) {
    // 200 images of 256 random bytes: every pair compared, the result within
    // its bounds (and quick: each pair is a merge and a few word operations).
    std::mt19937 random(200);
    std::vector<SubmissionResult> results(200);
    for (SubmissionResult& result : results) {
        result.submission.image.resize(256);
        for (Byte& byte : result.submission.image) byte = static_cast<Byte>(1 + random() % 15);  // one-byte opcodes: 256 instructions
    }
    const Similarities found = similarPairs(results);
    EXPECT_TRUE(found.identical.empty());
    EXPECT_LE(found.pairs.size(), MAX_REPORTED_PAIRS);
    for (const SimilarPair& pair : found.pairs) {
        EXPECT_LT(pair.first, pair.second);
        EXPECT_GE(pair.score, MIN_REPORTED_SIMILARITY);
    }
}

// --- A skeleton every student received -------------------------------------

// Reads a digit and prints the result of what goes in the middle.
const std::string SKELETON = R"(
        INP numero
        SUB numero, zero
        VALOFFST 0
        CLZ
        CPY numero, copia
; @
        ADD copia, zero
        WRT copia
        WRT acapo
        CLZ
        RST
numero: DB 0, 0
copia:  DB 0, 0
zero:   DB '0'
acapo:  DB 10, 0
)";

// The skeleton with code in the middle, where it says so.
std::string completed(const std::string& code) {
    std::string source = SKELETON;
    source.replace(source.find("; @\n"), 4, code);
    return source;
}

// One student's own code, another's copy of it with an instruction more, and
// a third's own code of another kind.
const std::string OWN = "INC copia\nINC copia\nDEC numero\nCLZ\nADD copia, numero\nCPY numero, copia\n"
                        "MUL copia, zero\nINCOFFST\n";
const std::string OWN_COPIED = "INC copia\nINC copia\nDEC numero\nNOP\nCLZ\nADD copia, numero\nCPY numero, copia\n"
                               "MUL copia, zero\nINCOFFST\n";
const std::string OTHER = "DIV copia, zero\nSTN\nJPN 0\nSUB numero, copia\nSTO\nCMP copia, zero\nDECOFFST\n";

std::vector<Byte> sequenceOf(const std::string& source) {
    return instructionSequence(imageOf(source));
}

TEST(SimilaritySkeleton, StretchesOfTheSkeletonAreLeftOutAndShortOnesStay) {
    const Byte a = 0x10, b = 0x11, c = 0x12, d = 0x13, e = 0x14, f = 0x15, x = 0x20, y = 0x21;
    ASSERT_EQ(SKELETON_RUN, 5u);
    const std::vector<Byte> skeleton = {a, b, c, d, e, f};
    const struct {
        std::vector<Byte> sequence;
        std::vector<Byte> left;
    } cases[] = {
        {{a, b, c, d, e, f}, {}},                                    // the skeleton itself
        {{x, a, b, c, d, e, y}, {x, y}},                             // a stretch of five inside own code
        {{a, b, c, d, e, x, b, c, d, e, f, y}, {x, y}},              // two stretches of the skeleton
        {{a, b, c, d, e, f, a, b, c, d, e}, {}},                     // one of them twice
        {{a, b, c, d, x, c, d, e, f}, {a, b, c, d, x, c, d, e, f}},  // four in a row are not enough
        {{f, e, d, c, b, a}, {f, e, d, c, b, a}},                    // the same instructions in another order
        {{}, {}},
    };
    for (const auto& k : cases) EXPECT_EQ(withoutSkeleton(k.sequence, skeleton), k.left);
    // A skeleton shorter than a stretch, or without code, leaves everything.
    EXPECT_EQ(withoutSkeleton({a, b, c, d, e}, {a, b, c, d}), (std::vector<Byte>{a, b, c, d, e}));
    EXPECT_EQ(withoutSkeleton({a, b, c, d, e}, {}), (std::vector<Byte>{a, b, c, d, e}));

    // Real code: a completed skeleton keeps only what was written in it.
    std::vector<Byte> own = sequenceOf(OWN + "RST\nnumero: DB 0\ncopia: DB 0\nzero: DB 0\n");
    ASSERT_EQ(own.size(), 9u);
    own.pop_back();  // RST
    EXPECT_EQ(withoutSkeleton(sequenceOf(completed(OWN)), sequenceOf(SKELETON)), own);
}

// A class that completed the skeleton: 0 kept it as it was, 1 and 6 added
// next to nothing, 2 and 5 wrote the same code, 3 copied it with a NOP more,
// 4 wrote code of another kind.
std::vector<SubmissionResult> skeletonClass() {
    return {resultOf(SKELETON),        resultOf(completed("NOP\n")), resultOf(completed(OWN)),
            resultOf(completed(OWN_COPIED)), resultOf(completed(OTHER)), resultOf(completed(OWN)),
            resultOf(completed("NOP\nCLZ\n"))};
}

TEST(SimilaritySkeleton, OnlyCodeBeyondTheSkeletonMakesSubmissionsAlike) {
    const std::vector<SubmissionResult> results = skeletonClass();

    // Without the skeleton, those who kept it are found alike for it.
    const Similarities plain = similarPairs(results);
    EXPECT_FALSE(plain.skeletonExcluded);
    const auto involves = [](const Similarities& found, std::size_t index) {
        for (const auto& group : found.identical)
            if (std::find(group.begin(), group.end(), index) != group.end()) return true;
        for (const SimilarPair& pair : found.pairs)
            if (pair.first == index || pair.second == index) return true;
        return false;
    };
    EXPECT_TRUE(involves(plain, 0));
    EXPECT_TRUE(involves(plain, 4));  // the skeleton alone brings the other kind of code close

    // With it: the same code is still identical, the copy still alike, and
    // nobody else is anybody's pair.
    const Similarities found = similarPairs(results, sequenceOf(SKELETON));
    EXPECT_TRUE(found.skeletonExcluded);
    EXPECT_EQ(found.identical, (std::vector<std::vector<std::size_t>>{{2, 5}}));
    ASSERT_EQ(found.pairs.size(), 1u);
    EXPECT_EQ(found.pairs[0].first, 2u);
    EXPECT_EQ(found.pairs[0].second, 3u);
    EXPECT_GE(found.pairs[0].score, 0.8);
    EXPECT_DOUBLE_EQ(found.pairs[0].score, sequenceSimilarity(withoutSkeleton(sequenceOf(completed(OWN)), sequenceOf(SKELETON)),
                                                              withoutSkeleton(sequenceOf(completed(OWN_COPIED)), sequenceOf(SKELETON))));
    for (const std::size_t index : {0u, 1u, 4u, 6u}) EXPECT_FALSE(involves(found, index)) << index;
}

TEST(SimilaritySkeleton, ASkeletonWithoutCodeChangesNothingAndOneEqualToASubmissionHidesIt) {
    const std::vector<SubmissionResult> results = skeletonClass();
    const Similarities plain = similarPairs(results);
    for (const std::string& empty : {std::string("RST\n"), std::string("DB 0, 0, 0\n")}) {
        const Similarities found = similarPairs(results, sequenceOf(empty));
        EXPECT_TRUE(found.skeletonExcluded);
        EXPECT_EQ(found.identical, plain.identical);
        ASSERT_EQ(found.pairs.size(), plain.pairs.size());
        for (std::size_t index = 0; index < plain.pairs.size(); ++index) {
            EXPECT_EQ(found.pairs[index].first, plain.pairs[index].first);
            EXPECT_EQ(found.pairs[index].second, plain.pairs[index].second);
            EXPECT_EQ(found.pairs[index].score, plain.pairs[index].score);
        }
    }

    // The skeleton is 2's whole program: 2 and 5 have nothing of their own
    // left, but are still identical; 3 has only its NOP; 4 alone is left,
    // alike to none.
    const Similarities found = similarPairs(results, sequenceOf(completed(OWN)));
    EXPECT_EQ(found.identical, (std::vector<std::vector<std::size_t>>{{2, 5}}));
    EXPECT_TRUE(found.pairs.empty());
}

// Tells a digit read from zero from any other: two jumps with two targets.
const std::string ZERO_OR_NOT = R"(
        INP cifra
        CLZ
        CMP cifra, zero
        JPZ nullo
        JMP altro
nullo:  WRT si
        RST
altro:  WRT no
        RST
cifra:  DB 0, 0
zero:   DB '0'
si:     DB "zero", 0
no:     DB "altro", 0
)";

TEST(SimilarityIdentical, MeansTheSameInstructionsWithTheSameOperandsWhateverTheLabelsAreCalled) {
    const std::string swapped = replaced(replaced(ZERO_OR_NOT, "JPZ nullo", "JPZ altro"), "JMP altro", "JMP nullo");
    const std::string renamed = replaced(replaced(ZERO_OR_NOT, "JPZ nullo", "JPZ  vero  ; se zero"), "nullo:", "vero:");
    const struct {
        const char* what;
        std::string other;
        bool identical;
    } rows[] = {
        {"the same text", ZERO_OR_NOT, true},
        {"labels renamed, comments and blanks", renamed + "; un commento\n\n", true},
        {"the jumps' targets swapped", swapped, false},
        {"another constant", replaced(ZERO_OR_NOT, "DB '0'", "DB '1'"), false},
        {"the code and data elsewhere", COUNTING_DISGUISED, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string first = row.other == COUNTING_DISGUISED ? COUNTING : ZERO_OR_NOT;
        const std::vector<SubmissionResult> results = {resultOf(first), resultOf(row.other)};
        // With a skeleton or without, and whatever the skeleton leaves of them.
        for (const std::optional<std::string>& skeleton :
             {std::optional<std::string>{}, std::optional<std::string>{first}, std::optional<std::string>{"RST\n"}}) {
            const Similarities found = skeleton ? similarPairs(results, sequenceOf(*skeleton)) : similarPairs(results);
            EXPECT_EQ(found.identical.size(), row.identical ? 1u : 0u) << (skeleton ? *skeleton : "");
            // Not identical, but the same instructions in the same order: alike at 100 %.
            if (!row.identical && !skeleton) {
                ASSERT_EQ(found.pairs.size(), 1u);
                EXPECT_EQ(found.pairs[0].score, 1.0);
            }
        }
    }
    // Byte for byte the same, zeros at the end aside: identical, with a skeleton too.
    SubmissionResult longer = resultOf(ZERO_OR_NOT);
    longer.submission.image.resize(longer.submission.image.size() + 5, 0);
    EXPECT_EQ(similarPairs({resultOf(ZERO_OR_NOT), longer}, sequenceOf(SKELETON)).identical.size(), 1u);
}

}  // namespace
}  // namespace tarn::grading
