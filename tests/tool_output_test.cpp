// tarnasm and tarndis end to end against whatever stands where they write:
// devices, FIFOs, links, folders, read-only folders, long names, a file size
// limit, signals in the middle of a write, huge or endless sources, and a
// standard output that is full, closed, non-blocking or gone.
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/fs.h>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

using tarntest::bytes;

namespace {

namespace fs = std::filesystem;

constexpr uid_t NOBODY = 65534;
constexpr std::size_t MAX_SOURCE_BYTES = std::size_t{1} << 20;

using tarntest::IMAGE;
using tarntest::LISTING;
using tarntest::PROGRAM;

std::string contentOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void put(const std::string& path, const std::string& content) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << content;
}

struct stat statusOf(const std::string& path) {
    struct stat status {};
    ::lstat(path.c_str(), &status);
    return status;
}

std::string imageError(const std::string& path, const std::string& reason) {
    return "tarnasm: impossibile scrivere l'immagine '" + path + "': " + reason + "\n";
}

std::string listingError(const std::string& path, const std::string& reason) {
    return "tarnasm: impossibile scrivere il listato '" + path + "': " + reason + "\n";
}

// A fresh folder of the test's own, with the program's source in it.
class Folder {
public:
    Folder() {
        path_ = tarntest::freshFolder("tarnasm-uscite");
        ::chmod(path_.c_str(), 0755);
        put(source(), PROGRAM);
    }
    ~Folder() {
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(path_, error)) {
            if (entry.is_directory(error)) ::chmod(entry.path().c_str(), 0755);
            const int fd = ::open(entry.path().c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
            int flags = 0;  // an immutable file could not be removed
            if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL)) {
                flags &= ~FS_IMMUTABLE_FL;
                ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
            }
            if (fd >= 0) ::close(fd);
        }
        ::chmod(path_.c_str(), 0755);
        fs::remove_all(path_, error);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }
    std::string source() const { return *this / "prog.asm"; }

    // The temporary files of tarnasm in the folder (and one level below).
    std::vector<std::string> temporaries() const {
        std::vector<std::string> found;
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(path_, error))
            if (entry.path().filename().string().rfind(".tarn-", 0) == 0) found.push_back(entry.path());
        return found;
    }

private:
    std::string path_;
};

// How a tool is started here: signals at their default actions, a known umask.
struct Launch {
    std::vector<std::string> args;
    std::string program = TARNASM_BINARY;
    bool asNobody = false;
    rlim_t fileSizeLimit = RLIM_INFINITY;
    rlim_t addressSpaceLimit = RLIM_INFINITY;
    std::vector<int> ignoredSignals;  // every other signal starts with its default action
    mode_t umask = 022;
    int standardOutput = -1;  // -1: a pipe read by the test
};

using Outcome = tarntest::ProcessResult;

tarntest::ProcessOptions optionsOf(const Launch& launch) {
    tarntest::ProcessOptions options;
    options.ignoredSignals = launch.ignoredSignals;
    options.umask = launch.umask;
    if (launch.asNobody) options.user = NOBODY;
    options.fileSizeLimit = launch.fileSizeLimit;
    options.addressSpaceLimit = launch.addressSpaceLimit;
    options.outputFd = launch.standardOutput;
    options.timeoutSeconds = 60;
    return options;
}

std::vector<std::string> argvOf(const Launch& launch) {
    std::vector<std::string> argv = launch.args;
    argv.insert(argv.begin(), launch.program);
    return argv;
}

// A started program, for the tests that act while it runs.
class Child : public tarntest::ChildProcess {
public:
    explicit Child(const Launch& launch) : ChildProcess(argvOf(launch), optionsOf(launch)) {}
};

Outcome run(const Launch& launch) {
    return tarntest::runProcess(argvOf(launch), optionsOf(launch));
}

Outcome tarnasm(std::vector<std::string> args) {
    Launch launch;
    launch.args = std::move(args);
    return run(launch);
}

// Waits (with a generous limit, against a hang only) until condition holds.
bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Reads a FIFO opened before its writer, until the writer closes it.
std::string drain(int fd) {
    std::string content;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool gotData = false;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) continue;
        char buffer[4096];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            content.append(buffer, static_cast<std::size_t>(got));
            gotData = true;
        } else if (got == 0 && gotData) {
            break;
        } else if (got == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));  // no writer yet
        }
    }
    return content;
}

bool isRoot() {
    return ::geteuid() == 0;
}

// Whether nobody can run tarnasm on the folder's source: not where a folder
// above the build or the test's folder is closed to others (a fresh system's
// /root, mode 700).
bool nobodyReaches(const std::string& source) {
    Launch launch;
    launch.asNobody = true;
    launch.args = {source, "-o", "/dev/null"};
    return run(launch).exitStatus == 0;
}

// A device for the outputs: /dev/null (1, 3) or /dev/full (1, 7). As root, a
// node of the test's own in the folder, since a faulty tarnasm could replace
// the node it is given; "" when root cannot make one.
std::string device(const Folder& folder, unsigned minor) {
    const std::string system = minor == 3 ? "/dev/null" : "/dev/full";
    if (!isRoot()) return system;
    const std::string path = folder / (minor == 3 ? "nulla" : "piena");
    if (::access(path.c_str(), F_OK) == 0) return path;
    return ::mknod(path.c_str(), S_IFCHR | 0666, ::makedev(1, minor)) == 0 ? path : "";
}

}  // namespace

// --- Where the outputs go -------------------------------------------------

TEST(OutputPaths, AnExistingFileKeepsItsModeAndOwnerAndANewOneFollowsTheUmask) {
    Folder folder;
    const std::string image = folder / "vecchia.bin";
    put(image, "vecchio contenuto");
    ::chmod(image.c_str(), 0604);
    if (isRoot()) {
        if (!nobodyReaches(folder.source())) GTEST_SKIP() << "nobody non raggiunge tarnasm o la cartella del test";
        ASSERT_EQ(0, ::chown(image.c_str(), NOBODY, NOBODY));
    }
    Outcome outcome = tarnasm({folder.source(), "-o", image});
    EXPECT_EQ(0, outcome.exitStatus);
    EXPECT_EQ("", outcome.err);
    EXPECT_EQ(IMAGE, contentOf(image));
    const struct stat after = statusOf(image);
    EXPECT_EQ(0604u, after.st_mode & 07777);
    if (isRoot()) {
        EXPECT_EQ(NOBODY, after.st_uid);
        EXPECT_EQ(NOBODY, after.st_gid);
    }

    Launch launch;
    launch.umask = 027;
    launch.args = {folder.source(), "-l", folder / "nuovo.lst"};
    outcome = run(launch);
    EXPECT_EQ(0, outcome.exitStatus);
    EXPECT_EQ(LISTING, contentOf(folder / "nuovo.lst"));
    EXPECT_EQ(0640u, statusOf(folder / "nuovo.lst").st_mode & 07777);
    EXPECT_EQ(0640u, statusOf(folder / "prog.bin").st_mode & 07777);
    EXPECT_TRUE(folder.temporaries().empty());
}

TEST(OutputPaths, ASymbolicLinkIsFollowedToItsTarget) {
    Folder folder;
    fs::create_directory(folder / "altrove");
    put(folder / "altrove/vero.bin", "vecchio");
    // A relative link is relative to its own folder, through a second link.
    fs::create_symlink("altrove/vero.bin", folder / "collegamento-1");
    fs::create_directory(folder / "qui");
    fs::create_symlink("../collegamento-1", folder / "qui/collegamento-2");
    fs::create_symlink("mancante.bin", folder / "pendente");
    fs::create_symlink("giro-b", folder / "giro-a");
    fs::create_symlink("giro-a", folder / "giro-b");
    fs::create_symlink("altrove", folder / "verso-cartella");

    Outcome outcome = tarnasm({folder.source(), "-o", folder / "qui/collegamento-2"});
    EXPECT_EQ(0, outcome.exitStatus) << outcome.err;
    EXPECT_EQ(IMAGE, contentOf(folder / "altrove/vero.bin"));
    EXPECT_TRUE(fs::is_symlink(folder / "qui/collegamento-2"));
    EXPECT_TRUE(fs::is_symlink(folder / "collegamento-1"));

    // A dangling link gets its target.
    outcome = tarnasm({folder.source(), "-o", folder / "pendente"});
    EXPECT_EQ(0, outcome.exitStatus) << outcome.err;
    EXPECT_TRUE(fs::is_symlink(folder / "pendente"));
    EXPECT_EQ(IMAGE, contentOf(folder / "mancante.bin"));

    outcome = tarnasm({folder.source(), "-o", folder / "giro-a"});
    EXPECT_EQ(2, outcome.exitStatus);
    EXPECT_EQ(imageError(folder / "giro-a", "troppi livelli di collegamenti simbolici"), outcome.err);
    outcome = tarnasm({folder.source(), "-o", folder / "verso-cartella"});
    EXPECT_EQ(2, outcome.exitStatus);
    EXPECT_EQ(imageError(folder / "verso-cartella", "è una cartella"), outcome.err);
    EXPECT_TRUE(fs::is_symlink(folder / "verso-cartella"));
    EXPECT_TRUE(folder.temporaries().empty());
}

TEST(OutputPaths, AFolderIsAnError) {
    Folder folder;
    fs::create_directory(folder / "cartella");
    for (const std::string& path : {folder / "cartella", folder / "cartella/", folder / "nuova/"}) {
        const Outcome outcome = tarnasm({folder.source(), "-o", path});
        EXPECT_EQ(2, outcome.exitStatus) << path;
        EXPECT_EQ(imageError(path, "è una cartella"), outcome.err);
    }
    EXPECT_TRUE(fs::is_empty(folder / "cartella"));
    EXPECT_FALSE(fs::exists(folder / "nuova"));
    EXPECT_TRUE(folder.temporaries().empty());
}

TEST(OutputPaths, ADeviceIsWrittenDirectlyAndItsFailureIsAnError) {
    Folder folder;
    const std::string null = device(folder, 3), full = device(folder, 7);
    if (null.empty() || full.empty()) GTEST_SKIP() << "root may not make devices here, and /dev is not to be risked";
    Outcome outcome = tarnasm({folder.source(), "-o", null, "-l", null});
    EXPECT_EQ(0, outcome.exitStatus);
    EXPECT_EQ("", outcome.err);
    EXPECT_TRUE(S_ISCHR(statusOf(null).st_mode));

    outcome = tarnasm({folder.source(), "-o", full});
    EXPECT_EQ(2, outcome.exitStatus);
    EXPECT_EQ(imageError(full, "spazio esaurito sul dispositivo"), outcome.err);
    EXPECT_TRUE(S_ISCHR(statusOf(full).st_mode));
    EXPECT_TRUE(folder.temporaries().empty());
}

TEST(OutputPaths, AFifoIsWrittenDirectly) {
    Folder folder;
    const std::string fifo = folder / "tubo";
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0644));
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    Launch launch;
    launch.args = {folder.source(), "-o", fifo};
    Child child(launch);
    EXPECT_EQ(IMAGE, drain(reader));
    ::close(reader);
    const Outcome outcome = child.finish();
    EXPECT_EQ(0, outcome.exitStatus);
    EXPECT_EQ("", outcome.err);
    EXPECT_TRUE(S_ISFIFO(statusOf(fifo).st_mode));
    EXPECT_TRUE(folder.temporaries().empty());
}

// Permission checks are the point here; root skips them, so as root the
// program runs as nobody.
TEST(OutputPaths, AWritableFileInAReadOnlyFolderIsWrittenInPlace) {
    Folder folder;
    fs::create_directory(folder / "sola-lettura");
    const std::string image = folder / "sola-lettura/prog.bin";
    put(image, "un'immagine vecchia e più lunga della nuova");
    ::chmod(image.c_str(), 0644);
    if (isRoot()) {
        if (!nobodyReaches(folder.source())) GTEST_SKIP() << "nobody non raggiunge tarnasm o la cartella del test";
        ASSERT_EQ(0, ::chown(image.c_str(), NOBODY, NOBODY));
    }
    const ino_t inode = statusOf(image).st_ino;
    ::chmod((folder / "sola-lettura").c_str(), 0555);

    Launch launch;
    launch.asNobody = isRoot();
    launch.args = {folder.source(), "-o", image};
    Outcome outcome = run(launch);
    EXPECT_EQ(0, outcome.exitStatus);
    EXPECT_EQ("", outcome.err);
    EXPECT_EQ(IMAGE, contentOf(image));
    EXPECT_EQ(inode, statusOf(image).st_ino);

    // A new file there cannot be.
    const std::string listing = folder / "sola-lettura/prog.lst";
    launch.args = {folder.source(), "-o", image, "-l", listing};
    put(image, "vecchia");
    outcome = run(launch);
    EXPECT_EQ(2, outcome.exitStatus);
    EXPECT_EQ(listingError(listing, "permesso negato"), outcome.err);
    EXPECT_EQ("vecchia", contentOf(image));
    EXPECT_FALSE(fs::exists(listing));
}

TEST(OutputPaths, AFileWhoseOwnerCannotBeKeptIsWrittenInPlaceWhenItCanBe) {
    if (!isRoot()) GTEST_SKIP() << "serve un file di un altro utente";
    Folder folder;
    ::chmod(folder.path().c_str(), 0777);
    if (!nobodyReaches(folder.source())) GTEST_SKIP() << "nobody non raggiunge tarnasm o la cartella del test";
    const std::string shared = folder / "di-root.bin";  // writable by all, owned by root
    put(shared, "vecchia");
    ::chmod(shared.c_str(), 0666);
    const std::string locked = folder / "di-root-bloccato.bin";  // only root writes it
    put(locked, "vecchia");
    ::chmod(locked.c_str(), 0644);
    const ino_t inode = statusOf(shared).st_ino;

    Launch launch;
    launch.asNobody = true;
    launch.args = {folder.source(), "-o", shared, "-l", locked};
    const Outcome outcome = run(launch);
    EXPECT_EQ(0, outcome.exitStatus);
    EXPECT_EQ("", outcome.err);
    EXPECT_EQ(IMAGE, contentOf(shared));
    EXPECT_EQ(inode, statusOf(shared).st_ino);
    EXPECT_EQ(0u, statusOf(shared).st_uid);
    // The other cannot be written in place: the folder lets it be replaced,
    // by a file of the program's user with the old mode.
    EXPECT_EQ(LISTING, contentOf(locked));
    EXPECT_EQ(NOBODY, statusOf(locked).st_uid);
    EXPECT_EQ(0644u, statusOf(locked).st_mode & 07777);
    EXPECT_TRUE(folder.temporaries().empty());
}

TEST(OutputPaths, NamesUpToTheLongestLegalOneWork) {
    Folder folder;
    for (const std::size_t length : {254u, 255u}) {
        const std::string image = folder / std::string(length - 4, 'i') + ".bin";
        const std::string listing = folder / std::string(length - 4, 'i') + ".lst";
        const Outcome outcome = tarnasm({folder.source(), "-o", image, "-l", listing});
        EXPECT_EQ(0, outcome.exitStatus) << length << outcome.err;
        EXPECT_EQ(IMAGE, contentOf(image)) << length;
        EXPECT_EQ(LISTING, contentOf(listing)) << length;
    }
    // The image beside a 255-character source.
    const std::string source = folder / std::string(251, 's') + ".asm";
    put(source, PROGRAM);
    Outcome outcome = tarnasm({source});
    EXPECT_EQ(0, outcome.exitStatus) << outcome.err;
    EXPECT_EQ(IMAGE, contentOf(folder / std::string(251, 's') + ".bin"));

    const std::string tooLong = folder / std::string(256, 'x');
    outcome = tarnasm({folder.source(), "-o", tooLong});
    EXPECT_EQ(2, outcome.exitStatus);
    EXPECT_EQ(imageError(tooLong, "nome di file troppo lungo"), outcome.err);
    EXPECT_TRUE(folder.temporaries().empty());
}

// --- Two outputs, one outcome ---------------------------------------------

TEST(TwoOutputs, WhenEitherFailsBothOldFilesStayAsTheyWere) {
    Folder folder;
    fs::create_directory(folder / "cartella");
    const std::string image = folder / "prog.bin";
    const std::string listing = folder / "prog.lst";
    const std::string full = device(folder, 7);
    if (full.empty()) GTEST_SKIP() << "root may not make devices here, and /dev is not to be risked";
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"-o", image, "-l", folder / "manca/prog.lst"},
         listingError(folder / "manca/prog.lst", "file o cartella inesistente")},
        {{"-o", image, "-l", folder / "cartella"}, listingError(folder / "cartella", "è una cartella")},
        // A device is written before any rename.
        {{"-o", image, "-l", full}, listingError(full, "spazio esaurito sul dispositivo")},
        {{"-o", full, "-l", listing}, imageError(full, "spazio esaurito sul dispositivo")},
        {{"-l", listing, "-o", folder / "manca/prog.bin"},
         imageError(folder / "manca/prog.bin", "file o cartella inesistente")},
    };
    for (const Case& test : cases) {
        put(image, "immagine vecchia");
        put(listing, "listato vecchio");
        std::vector<std::string> args = test.args;
        args.insert(args.begin(), folder.source());
        const Outcome outcome = tarnasm(args);
        EXPECT_EQ(2, outcome.exitStatus) << test.err;
        EXPECT_EQ(test.err, outcome.err);
        EXPECT_EQ("immagine vecchia", contentOf(image)) << test.err;
        EXPECT_EQ("listato vecchio", contentOf(listing)) << test.err;
        EXPECT_TRUE(folder.temporaries().empty()) << test.err;
    }
}

TEST(TwoOutputs, AFailedSecondRenameGivesTheFirstOutputItsOldFileBack) {
    if (!isRoot()) GTEST_SKIP() << "an immutable file, which alone makes a rename fail here, needs root";
    Folder folder;
    const std::string image = folder / "prog.bin";
    const std::string listing = folder / "prog.lst";
    put(image, "immagine vecchia");
    ::chmod(image.c_str(), 0600);
    put(listing, "listato vecchio");
    const ino_t inode = statusOf(image).st_ino;
    const int fd = ::open(listing.c_str(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    ASSERT_EQ(0, ::ioctl(fd, FS_IOC_GETFLAGS, &flags));
    flags |= FS_IMMUTABLE_FL;
    const bool immutable = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    if (!immutable) GTEST_SKIP() << "this file system has no immutable files";

    Outcome outcome = tarnasm({folder.source(), "-o", image, "-l", listing});
    EXPECT_EQ(2, outcome.exitStatus);
    EXPECT_EQ(listingError(listing, "operazione non permessa"), outcome.err);
    EXPECT_EQ("immagine vecchia", contentOf(image));
    EXPECT_EQ(inode, statusOf(image).st_ino);
    EXPECT_EQ(0600u, statusOf(image).st_mode & 07777);
    EXPECT_EQ("listato vecchio", contentOf(listing));
    EXPECT_TRUE(folder.temporaries().empty());

    // An image that did not exist does not stay behind.
    const std::string fresh = folder / "nuova.bin";
    outcome = tarnasm({folder.source(), "-o", fresh, "-l", listing});
    EXPECT_EQ(2, outcome.exitStatus);
    EXPECT_EQ(listingError(listing, "operazione non permessa"), outcome.err);
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_TRUE(folder.temporaries().empty());
}

// --- Interrupted writes -----------------------------------------------------

// The image's temporary file is ready and the listing is a FIFO that nobody
// reads: tarnasm waits in open() for a reader.
class Interrupted : public testing::TestWithParam<int> {};

TEST_P(Interrupted, ASignalWhileWritingLeavesNoTemporaryFile) {
    const int signal = GetParam();
    Folder folder;
    const std::string image = folder / "prog.bin";
    put(image, "immagine vecchia");
    ASSERT_EQ(0, ::mkfifo((folder / "tubo").c_str(), 0644));
    Launch launch;
    launch.args = {folder.source(), "-o", image, "-l", folder / "tubo"};
    Child child(launch);
    ASSERT_TRUE(eventually([&] { return !folder.temporaries().empty() && child.asleepOrEnded(); }));
    ASSERT_EQ(1u, folder.temporaries().size());
    ::kill(child.pid(), signal);
    const Outcome outcome = child.finish();
    EXPECT_EQ(signal, outcome.signal);
    EXPECT_EQ("", outcome.err);
    EXPECT_TRUE(folder.temporaries().empty());
    EXPECT_EQ("immagine vecchia", contentOf(image));
    EXPECT_TRUE(S_ISFIFO(statusOf(folder / "tubo").st_mode));
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupted, testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const testing::TestParamInfo<int>& info) { return std::string(sigabbrev_np(info.param)); });

TEST(InterruptedWrites, ASignalIgnoredAtTheStartStaysIgnored) {
    Folder folder;
    const std::string image = folder / "prog.bin";
    put(image, "immagine vecchia");
    const std::string fifo = folder / "tubo";
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0644));
    Launch launch;
    launch.ignoredSignals = {SIGHUP};  // as nohup starts it
    launch.args = {folder.source(), "-o", image, "-l", fifo};
    Child child(launch);
    ASSERT_TRUE(eventually([&] { return !folder.temporaries().empty() && child.asleepOrEnded(); }));
    ::kill(child.pid(), SIGHUP);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(LISTING, drain(reader));
    ::close(reader);
    const Outcome outcome = child.finish();
    EXPECT_EQ(0, outcome.exitStatus);
    EXPECT_EQ(0, outcome.signal);
    EXPECT_EQ(IMAGE, contentOf(image));
    EXPECT_TRUE(folder.temporaries().empty());
}

TEST(InterruptedWrites, TheFileSizeLimitIsAWriteErrorThatLeavesBothOldFiles) {
    Folder folder;
    const std::string image = folder / "prog.bin";
    const std::string listing = folder / "prog.lst";
    struct Case {
        rlim_t limit;
        std::string err;
    };
    // The image has 6 bytes, the listing more than 20.
    for (const Case& test : {Case{4, imageError(image, "file troppo grande")},
                             Case{20, listingError(listing, "file troppo grande")}}) {
        put(image, "vecchia");
        put(listing, "vecchio");
        Launch launch;
        launch.fileSizeLimit = test.limit;
        launch.args = {folder.source(), "-o", image, "-l", listing};
        const Outcome outcome = run(launch);
        EXPECT_EQ(2, outcome.exitStatus) << test.limit;
        EXPECT_EQ(0, outcome.signal) << test.limit;
        EXPECT_EQ(test.err, outcome.err);
        EXPECT_EQ("vecchia", contentOf(image));
        EXPECT_EQ("vecchio", contentOf(listing));
        EXPECT_TRUE(folder.temporaries().empty());
    }
}

// --- The source -------------------------------------------------------------

TEST(SourceSize, ASourceUpToTheLimitIsAssembledAndALongerOneRefused) {
    Folder folder;
    const std::string source = folder / "grande.asm";
    put(source, "RST\n" + std::string(MAX_SOURCE_BYTES - 4, '\n'));
    Outcome outcome = tarnasm({source});
    EXPECT_EQ(0, outcome.exitStatus) << outcome.err;
    EXPECT_EQ(bytes({0}), contentOf(folder / "grande.bin"));

    put(source, "RST\n" + std::string(MAX_SOURCE_BYTES - 3, '\n'));
    put(folder / "grande.bin", "vecchia");
    outcome = tarnasm({source});
    EXPECT_EQ(2, outcome.exitStatus);
    EXPECT_EQ("tarnasm: il sorgente '" + source + "' supera il limite di 1048576 byte\n", outcome.err);
    EXPECT_EQ("vecchia", contentOf(folder / "grande.bin"));

    outcome = tarnasm({"/dev/zero", "-o", folder / "zero.bin"});
    EXPECT_EQ(2, outcome.exitStatus);
    EXPECT_EQ("tarnasm: il sorgente '/dev/zero' supera il limite di 1048576 byte\n", outcome.err);
    EXPECT_FALSE(fs::exists(folder / "zero.bin"));
}

TEST(SourceSize, AnEndlessFifoIsReadOnlyUpToTheLimit) {
    Folder folder;
    const std::string fifo = folder / "senza-fine.asm";
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0644));
    ::signal(SIGPIPE, SIG_IGN);
    Launch launch;
    launch.args = {fifo, "-o", folder / "prog.bin"};
    Child child(launch);
    // Empty lines for as long as tarnasm reads them.
    int writer = -1;
    ASSERT_TRUE(eventually([&] {
        writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        return writer >= 0;
    }));
    const std::string lines(65536, '\n');
    std::size_t written = 0;
    ASSERT_TRUE(eventually([&] {
        const ssize_t sent = ::write(writer, lines.data(), lines.size());
        if (sent > 0) written += static_cast<std::size_t>(sent);
        return sent < 0 && errno == EPIPE;
    }));
    ::close(writer);
    const Outcome outcome = child.finish();
    EXPECT_EQ(2, outcome.exitStatus);
    EXPECT_EQ("tarnasm: il sorgente '" + fifo + "' supera il limite di 1048576 byte\n", outcome.err);
    EXPECT_GT(written, MAX_SOURCE_BYTES);
    EXPECT_LT(written, 2 * MAX_SOURCE_BYTES);  // what it read, and at most what the pipe held
    EXPECT_FALSE(fs::exists(folder / "prog.bin"));
}

#if !defined(__SANITIZE_ADDRESS__)
// Under every address space limit tarnasm either assembles the source (whose
// program is too long: exit status 1), or says that memory ran out; it is
// never ended by an abort. Some limits in the range leave room to load the
// program but not to read and assemble a source of 1 MiB.
TEST(SourceSize, RunningOutOfMemoryIsAMessageNotAnAbort) {
    Folder folder;
    std::string source;
    for (int line = 0; source.size() < MAX_SOURCE_BYTES - 64; ++line)
        source += "etichetta_" + std::to_string(line) + ": DB 0 ; " + std::string(40, 'c') + "\n";
    source.resize(MAX_SOURCE_BYTES, '\n');
    put(folder / "enorme.asm", source);
    bool ranOut = false;
    for (rlim_t kilobytes = 2048; kilobytes <= 32768; kilobytes += 512) {
        Launch launch;
        launch.addressSpaceLimit = kilobytes << 10;
        launch.args = {folder / "enorme.asm", "-o", folder / "enorme.bin"};
        const Outcome outcome = run(launch);
        EXPECT_EQ(0, outcome.signal) << kilobytes << " KiB: " << outcome.err;
        if (outcome.exitStatus == 127) continue;  // too little even to load the program
        if (outcome.err == "tarnasm: memoria esaurita\n") {
            EXPECT_EQ(2, outcome.exitStatus);
            ranOut = true;
        } else {
            EXPECT_EQ(1, outcome.exitStatus) << kilobytes << " KiB: " << outcome.err.substr(0, 200);
        }
    }
    EXPECT_TRUE(ranOut);
    EXPECT_TRUE(folder.temporaries().empty());
}
#endif

// --- Standard output --------------------------------------------------------

TEST(StandardOutput, AFailedWriteIsReportedWithExitStatus2) {
    const std::string image = tarntest::writeTempFile("uscita.bin", IMAGE);
    struct Case {
        const char* program;
        std::vector<std::string> args;
        bool closed;
        std::string err;
    };
    const std::string full = ": impossibile scrivere sullo standard output: spazio esaurito sul dispositivo\n";
    const std::string closed = ": impossibile scrivere sullo standard output: descrittore di file non valido\n";
    const std::vector<Case> cases = {
        {TARNDIS_BINARY, {image}, false, "tarndis" + full},
        {TARNDIS_BINARY, {"--help"}, false, "tarndis" + full},
        {TARNASM_BINARY, {"--help"}, false, "tarnasm" + full},
        {TARNDIS_BINARY, {image}, true, "tarndis" + closed},
        {TARNDIS_BINARY, {"-h"}, true, "tarndis" + closed},
        {TARNASM_BINARY, {"-h"}, true, "tarnasm" + closed},
    };
    for (const Case& test : cases) {
        std::vector<std::string> argv = test.args;
        argv.insert(argv.begin(), test.program);
        tarntest::ProcessOptions options;
        options.outputPath = "/dev/full";
        options.closeOutput = test.closed;
        const tarntest::ProcessResult result = tarntest::runProcess(argv, options);
        EXPECT_EQ(2, result.exitStatus) << test.err;
        EXPECT_EQ(test.err, result.err);
    }
}

TEST(StandardOutput, AReaderThatWentAwayIsAWriteErrorNotASignal) {
    const std::string image = tarntest::writeTempFile("uscita.bin", IMAGE);
    int pipeEnds[2];
    ASSERT_EQ(0, ::pipe2(pipeEnds, O_CLOEXEC));
    ::close(pipeEnds[0]);
    Launch launch;
    launch.program = TARNDIS_BINARY;
    launch.args = {image};
    launch.standardOutput = pipeEnds[1];
    const Outcome outcome = run(launch);
    ::close(pipeEnds[1]);
    EXPECT_EQ(0, outcome.signal);
    EXPECT_EQ(2, outcome.exitStatus);
    EXPECT_EQ("tarndis: impossibile scrivere sullo standard output: pipe interrotta: chi leggeva l'ha chiusa\n", outcome.err);
}

TEST(StandardOutput, ANonBlockingFullPipeIsWaitedFor) {
    std::mt19937 random(7);
    std::string noise(256, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    const std::string image = tarntest::writeTempFile("rumore.bin", noise);
    const tarntest::ProcessResult expected = tarntest::runProcess({TARNDIS_BINARY, image});
    ASSERT_EQ(0, expected.exitStatus);
    int pipeEnds[2];
    ASSERT_EQ(0, ::pipe2(pipeEnds, O_CLOEXEC));
    const int capacity = ::fcntl(pipeEnds[1], F_SETPIPE_SZ, 4096);
    ASSERT_GT(expected.out.size(), 2 * static_cast<std::size_t>(capacity));
    ::fcntl(pipeEnds[1], F_SETFL, O_NONBLOCK);

    Launch launch;
    launch.program = TARNDIS_BINARY;
    launch.args = {image};
    launch.standardOutput = pipeEnds[1];
    Child child(launch);
    ::close(pipeEnds[1]);
    ASSERT_TRUE(eventually([&] { return child.asleepOrEnded(); }));  // the pipe is full
    std::string out;
    char buffer[1024];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<std::size_t>(got));
    ::close(pipeEnds[0]);
    const Outcome outcome = child.finish();
    EXPECT_EQ(0, outcome.exitStatus);
    EXPECT_EQ("", outcome.err);
    EXPECT_EQ(expected.out, out);
}

// --- Warnings ---------------------------------------------------------------

TEST(WarningsOption, SilencesTheWarningsAndNothingElse) {
    Folder folder;
    // VAL with 0 sets D and starts tracing; the image is still written.
    put(folder.source(), "        VAL dato, 0\n        RST\ndato:   DB 1\n");
    const Outcome loud = tarnasm({folder.source()});
    EXPECT_EQ(0, loud.exitStatus);
    EXPECT_EQ(0u, loud.err.find(folder.source() + ":1:")) << loud.err;
    EXPECT_NE(std::string::npos, loud.err.find(": avviso: ")) << loud.err;
    for (const char* option : {"-w", "--senza-avvisi"}) {
        std::filesystem::remove(folder / "prog.bin");
        const Outcome quiet = tarnasm({option, folder.source()});
        EXPECT_EQ(0, quiet.exitStatus) << option;
        EXPECT_EQ("", quiet.err) << option;
        EXPECT_EQ(bytes({0x86, 0x04, 0x00, 0x00, 0x01}), contentOf(folder / "prog.bin"));
    }
    // Errors are still shown.
    put(folder.source(), "        VAL dato, 0\n        QQQQQQ\n");
    const Outcome failed = tarnasm({"-w", folder.source()});
    EXPECT_EQ(1, failed.exitStatus);
    EXPECT_EQ(folder.source() + ":1:13: errore: etichetta non definita 'dato'\n" + folder.source() +
                  ":2:9: errore: mnemonico sconosciuto 'QQQQQQ'\n",
              failed.err);
}
