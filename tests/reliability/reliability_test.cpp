// Whole runs of the program against a misbehaving site: every fault the demo site injects, the
// window closed at random moments, and one long run. The program runs in a child process (one
// program per process); this process checks what it listed, what it asked the site for, what it
// left in the photo store and that it wrote nothing else.

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/gui_helpers.h"
#include "app/main_window.h"
#include "app/program_main.h"
#include "collect/site.h"
#include "platform/codepage.h"
#include "platform/internet.h"
#include "support/demo_site_process.h"
#include "support/short_timeouts.h"
#include "values/files.h"

namespace {

namespace fs = std::filesystem;
using demo_site::Row;
using demo_site::SiteProcess;

// 27 bytes, as the program's profile prefix must be.
const std::string kProfilePrefix = "http://profiles.example/ab/";

// A stalled server costs a run this long instead of the program's 18 s. A 50 MB page takes the
// site about a second to start sending under load, and longer in the sanitizer build.
constexpr uint32_t kShortTimeoutMs = 5000;

// A child that has not ended by then is killed, so a hang fails its test instead of the suite:
// a whole run, and a run closed soon after its start.
constexpr unsigned kWholeRunSeconds = 100;
constexpr unsigned kClosedRunSeconds = 20;

// ---- The child: the program itself, reporting on its error output.

QPushButton* StartButton(MainWindow& window) {
    return window.findChild<QPushButton*>(QString::fromUtf8("按钮1"));
}

// One "row" line per row of the list, in UTF-8, for the parent to read.
void PrintRows(MainWindow& window) {
    for (int32_t row = 0; row < window.ListRowCount(); ++row) {
        std::string line = "row";
        for (int32_t column = 0; column < 4; ++column)
            line += "\t" + GbkToUtf8(window.ListGetCellText(row, column).view());
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

QMessageBox* CompletionBox() {
    QMessageBox* box = OpenMessageBox();
    return box && box->text() == QString::fromUtf8("查找完成") ? box : nullptr;
}

// Makes each row current in turn, as a click on it does: the picture box then decodes the
// member's stored photo, whatever bytes the site sent for it.
void ShowEveryPhoto(MainWindow& window) {
    auto* list = window.findChild<QTableWidget*>(QString::fromUtf8("超级列表框1"));
    for (int row = 0; row < list->rowCount(); ++row) {
        list->setCurrentCell(row, 0);
        QApplication::processEvents(); // the photo is shown from a queued call
    }
}

// Clicks 按钮1, waits for the completion message, reports the list, closes the box, shows every
// photo and closes the window.
void RunToCompletion(MainWindow& window) {
    StartButton(window)->click();
    // Each PumpUntil is bounded by its own patience; stalls and huge pages may need several.
    for (int wait = 0; wait < 9 && !PumpUntil([] { return CompletionBox() != nullptr; }); ++wait) {
    }
    QMessageBox* box = CompletionBox();
    std::fprintf(stderr, "finished %d\n", box ? 1 : 0);
    PrintRows(window);
    if (box)
        box->buttons().first()->click();
    ShowEveryPhoto(window);
    window.close();
}

[[noreturn]] void RunProgramAndExit(int port, unsigned seconds,
                                    const std::function<void(MainWindow&)>& drive) {
    alarm(seconds);
    static ShortTimeouts internet(kShortTimeoutMs);
    SetInternetForTesting(&internet);
    SetSiteAddressesForTesting(Text(("127.0.0.1:" + std::to_string(port)).c_str()),
                               Text(kProfilePrefix.c_str()));
    static int argc = 1;
    static char name[] = "reliability_test";
    static char* argv[] = {name, nullptr};
    std::exit(ProgramMain(argc, argv, drive));
}

// ---- The parent: running a child and reading its report.

// Reports of AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer in an output.
int SanitizerFindings(const std::string& output) {
    int findings = 0;
    for (const char* mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"})
        for (size_t at = output.find(mark); at != std::string::npos; at = output.find(mark, at + 1))
            ++findings;
    return findings;
}

// Keeps the child's error output for the checks after it ended.
class KeepOutput : public testing::MatcherInterface<const std::string&> {
  public:
    explicit KeepOutput(std::string* kept) : kept_(kept) {}
    bool MatchAndExplain(const std::string& output, testing::MatchResultListener*) const override {
        *kept_ = output;
        return true;
    }
    void DescribeTo(std::ostream* out) const override { *out << "any output"; }

  private:
    std::string* kept_;
};

struct ChildEnd {
    int status = -1; // as waitpid gives it
    std::string output;
    bool exitedWithZero() const { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }
};

// Runs `child` in a forked process (this process has no threads) and gives how it ended. Exit
// code and output are judged by the caller, so that a failing child still shows its output.
ChildEnd RunChild(const std::function<void()>& child) {
    GTEST_FLAG_SET(death_test_style, "fast");
    ChildEnd end;
    EXPECT_EXIT(child(), ([&end](int status) {
                    end.status = status;
                    return true;
                }),
                testing::MakeMatcher(new KeepOutput(&end.output)));
    return end;
}

struct Report {
    bool finished = false;
    std::vector<Row> rows;
};

Report ReadReport(const std::string& output) {
    Report report;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        if (line == "finished 1")
            report.finished = true;
        else if (line.starts_with("row\t"))
            report.rows.push_back(demo_site::ParseRows(line.substr(4)).front());
    }
    return report;
}

// ---- The site, and what a plain client gets from it.

struct Answer {
    int status = 0;
    bool tooLarge = false;
    size_t announced = 0; // the Content-Length, when there is one
    std::string body;     // as far as it arrived
};

// One GET on a new connection; a server that goes silent for the short time-out ends it with
// what arrived. A body over the program's size limit is not read.
Answer Fetch(int port, const std::string& target) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(kShortTimeoutMs / 1000, 0);
    client.set_decompress(false);
    Answer answer;
    client.Get(
        target, {{"Accept-Encoding", "identity"}},
        [&](const httplib::Response& response) {
            answer.status = response.status;
            if (response.has_header("Content-Length"))
                answer.announced = std::stoull(response.get_header_value("Content-Length"));
            answer.tooLarge = answer.announced > kMaxResponseBody;
            return !answer.tooLarge;
        },
        [&](const char* data, size_t size) {
            answer.body.append(data, size);
            return true;
        });
    return answer;
}

// What the program stores for that answer: the body whatever the status; nothing for a body
// over the limit, nor after a redirect (libcurl follows it and drops the bodies of redirects,
// and a loop ends in one), nor for a photo cut short before its announced length.
std::string Received(const Answer& answer) {
    const bool cut = answer.body.size() < answer.announced;
    return answer.tooLarge || cut || answer.status / 100 == 3 ? std::string() : answer.body;
}

std::string TargetOf(const std::string& address) {
    return address.substr(address.find('/', 7));
}

std::string PageTarget(int page) {
    return demo_site::SearchPath + std::to_string(page);
}

class TempDirectory {
  public:
    TempDirectory() {
        std::string pattern = (fs::temp_directory_path() / "reliability-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDirectory() {
        std::error_code ignored;
        if (!path_.empty())
            fs::remove_all(path_, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> FaultOptions(const std::vector<std::string>& faults) {
    std::vector<std::string> options;
    for (const std::string& fault : faults)
        options.insert(options.end(), {"--fault", fault});
    return options;
}

// The faulty site, its clean twin (the same members without faults), which tells the faulted
// answers apart, and the log of what the program asked for. A site without faults has no twin.
class Sites {
  public:
    Sites(const std::vector<std::string>& options, const std::vector<std::string>& faults)
        : log_(directory_.path() / "requests.log"),
          site_(Concat(Concat(options, FaultOptions(faults)),
                       {"--profile-prefix", kProfilePrefix, "--log", log_.string()})) {
        if (!faults.empty())
            clean_ = std::make_unique<SiteProcess>(
                Concat(options, {"--profile-prefix", kProfilePrefix}));
        if (up())
            expected_ = site_.Expected();
    }

    bool up() const { return site_.port() > 0 && (!clean_ || clean_->port() > 0); }
    int port() const { return site_.port(); }
    const std::vector<Row>& expected() const { return expected_; }

    // The targets requested since the last call; the repeats of a redirect to the same target
    // count once.
    std::vector<std::string> NewRequests() {
        std::ifstream in(log_);
        in.seekg(logRead_);
        std::vector<std::string> targets;
        for (std::string line; std::getline(in, line);) {
            std::string target = line.substr(line.find(' ') + 1);
            if (targets.empty() || targets.back() != target)
                targets.push_back(target);
        }
        in.clear();
        logRead_ = in.tellg();
        return targets;
    }

    const Answer& AnswerFor(const std::string& target) {
        auto it = answers_.find(target);
        if (it == answers_.end())
            it = answers_.emplace(target, Fetch(site_.port(), target)).first;
        return it->second;
    }

    // Whether the site answered the target otherwise than its clean twin does.
    bool Faulted(const std::string& target) {
        if (!clean_)
            return false;
        const Answer& answer = AnswerFor(target);
        Answer clean = Fetch(clean_->port(), target);
        // The twin's pages name its own port in every photo address.
        const std::string twin = "127.0.0.1:" + std::to_string(clean_->port());
        const std::string ours = "127.0.0.1:" + std::to_string(site_.port());
        for (size_t at = clean.body.find(twin); at != std::string::npos;
             at = clean.body.find(twin, at + ours.size()))
            clean.body.replace(at, twin.size(), ours);
        return answer.status != clean.status || answer.tooLarge != clean.tooLarge ||
               answer.body != clean.body;
    }

    // The faulted answers among targets, each counted once.
    int CountFaulted(const std::vector<std::string>& targets) {
        std::set<std::string> distinct(targets.begin(), targets.end());
        return static_cast<int>(std::count_if(distinct.begin(), distinct.end(),
                                              [&](const std::string& t) { return Faulted(t); }));
    }

  private:
    TempDirectory directory_;
    fs::path log_;
    SiteProcess site_;
    std::unique_ptr<SiteProcess> clean_;
    std::vector<Row> expected_;
    std::map<std::string, Answer> answers_;
    std::streamoff logRead_ = 0;
};

// ---- The disk.

std::string StoreDirectory() {
    return GbkToUtf8(RunDirectory().view());
}

std::string StorePath(const Row& row) {
    std::string sex = row.sex;
    std::transform(sex.begin(), sex.end(), sex.begin(), ::tolower);
    return StoreDirectory() + "/" + sex + "/" + row.id + ".jpg";
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The store files of a run's rows; none before the run, none after the test.
class StoreFiles {
  public:
    explicit StoreFiles(const std::vector<Row>& rows) {
        for (const Row& row : rows)
            paths_.insert(StorePath(row));
        Remove();
    }
    ~StoreFiles() { Remove(); }
    StoreFiles(const StoreFiles&) = delete;
    StoreFiles& operator=(const StoreFiles&) = delete;

    void Remove() const {
        std::error_code ignored;
        for (const std::string& path : paths_)
            fs::remove(path, ignored);
    }

    // Temporary files of these photos that a write left behind.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> found;
        for (const char* sex : {"/m", "/f"}) {
            const fs::path directory = StoreDirectory() + sex;
            for (const auto& entry : fs::directory_iterator(directory)) {
                const std::string name = entry.path().filename().string();
                const size_t mark = name.find(".tmp-");
                if (name.starts_with(".") && mark != std::string::npos &&
                    paths_.contains((directory / name.substr(1, mark - 1)).string()))
                    found.push_back(entry.path().string());
            }
        }
        return found;
    }

  private:
    std::set<std::string> paths_;
};

// Every entry beside the program, and in the working directory, with the size and time of each
// file; what the two store directories hold is left out.
std::map<std::string, std::string> OutsideTheStore() {
    std::map<std::string, std::string> entries;
    const fs::path store = StoreDirectory();
    for (const fs::path& root : {store, fs::current_path()}) {
        for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
            const fs::path& path = it->path();
            if (path.parent_path() == store / "m" || path.parent_path() == store / "f")
                continue;
            std::string what = "directory";
            if (it->is_regular_file())
                what = std::to_string(it->file_size()) + " bytes, " +
                       std::to_string(it->last_write_time().time_since_epoch().count());
            entries[path.string()] = what;
        }
    }
    return entries;
}

struct Figures {
    int runs = 0, faults = 0, members = 0, photos = 0, findings = 0;
    void Add(const ChildEnd& end) {
        ++runs;
        findings += SanitizerFindings(end.output);
    }
    void Print(const std::string& test) const {
        std::printf("reliability %s: runs=%d faults=%d members=%d photos=%d findings=%d\n",
                    test.c_str(), runs, faults, members, photos, findings);
    }
};

// What the store must hold after a whole run: per path, what the routine received for the last
// row of that path; an empty download leaves an earlier photo in place.
std::map<std::string, std::string> ExpectedStore(Sites& sites) {
    std::map<std::string, std::string> store;
    for (const Row& row : sites.expected()) {
        std::string data = Received(sites.AnswerFor(TargetOf(row.photo)));
        auto [it, inserted] = store.try_emplace(StorePath(row), data);
        if (!inserted && !data.empty())
            it->second = data;
    }
    return store;
}

// One whole run to its completion message, and every check of it.
void CheckWholeRun(Sites& sites, Figures& figures) {
    ASSERT_TRUE(sites.up());
    StoreFiles files(sites.expected());
    const auto outsideBefore = OutsideTheStore();
    sites.NewRequests();

    ChildEnd end =
        RunChild([&] { RunProgramAndExit(sites.port(), kWholeRunSeconds, RunToCompletion); });
    figures.Add(end);
    EXPECT_TRUE(end.exitedWithZero()) << "wait status " << end.status << "\n" << end.output;
    EXPECT_EQ(SanitizerFindings(end.output), 0) << end.output;
    const Report report = ReadReport(end.output);
    EXPECT_TRUE(report.finished) << "no completion message";
    EXPECT_EQ(report.rows, sites.expected());
    figures.members += static_cast<int>(report.rows.size());

    // Pages 1 to 100 in order, and each listed member's photo once, in list order.
    const std::vector<std::string> requests = sites.NewRequests();
    std::vector<std::string> pages, photos, wantPages, wantPhotos;
    for (const std::string& target : requests)
        (target.starts_with("/result.php") ? pages : photos).push_back(target);
    for (int page = 1; page <= 100; ++page)
        wantPages.push_back(PageTarget(page));
    for (const Row& row : sites.expected())
        wantPhotos.push_back(TargetOf(row.photo));
    EXPECT_EQ(pages, wantPages);
    EXPECT_EQ(photos, wantPhotos);
    figures.faults += sites.CountFaulted(requests);

    for (const auto& [path, data] : ExpectedStore(sites)) {
        ASSERT_TRUE(fs::exists(path)) << path;
        EXPECT_TRUE(ReadFile(path) == data) << path << ": " << fs::file_size(path)
                                            << " bytes stored, " << data.size() << " received";
        figures.photos += data.empty() ? 0 : 1;
    }
    EXPECT_EQ(files.Leftovers(), std::vector<std::string>());
    EXPECT_EQ(OutsideTheStore(), outsideBefore);
}

// ---- Faults over whole runs.

struct FaultCase {
    const char* name;
    std::vector<std::string> options;
    std::vector<std::string> faults;
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

class FaultRun : public testing::TestWithParam<FaultCase> {};

TEST_P(FaultRun, ListsEveryArrivedMemberAndStoresWhatWasReceived) {
    const FaultCase& c = GetParam();
    Sites sites(c.options, c.faults);
    Figures figures;
    CheckWholeRun(sites, figures);
    figures.Print(c.name);
}

// Few pages and members keep each run short; the seeds keep the runs' photo ids apart, as they
// share the store when they run in parallel.
INSTANTIATE_TEST_SUITE_P(
    Faults, FaultRun,
    testing::Values(FaultCase{"PageTransport",
                              {"--pages", "6", "--members", "10", "--seed", "15"},
                              {"404@page=1", "drop@page=2", "stall@page=3", "garbage@page=4",
                               "redirect-loop@page=5", "garbage:0.1"}},
                    FaultCase{"PageContent",
                              {"--pages", "6", "--members", "10", "--seed", "19"},
                              {"huge-line@page=2", "invalid-utf8@page=3", "markers-swapped@page=4",
                               "invalid-utf8:0.3"}},
                    FaultCase{"Photos",
                              {"--pages", "4", "--members", "10", "--seed", "22"},
                              {"404@photo=1", "drop@photo=2", "stall@photo=3", "garbage@photo=4",
                               "redirect-loop@photo=5", "bad-jpeg:0.3", "drop:0.05"}},
                    FaultCase{"Oversized",
                              {"--pages", "4", "--members", "10", "--seed", "23"},
                              {"oversized@page=2", "oversized@photo=3", "404:0.1"}},
                    FaultCase{"Mixed",
                              {"--pages", "5", "--members", "10", "--seed", "18"},
                              {"huge-line@page=5", "stall@page=1", "bad-jpeg@photo=2",
                               "bad-jpeg@photo=3", "404:0.05", "drop:0.05", "garbage:0.05",
                               "redirect-loop:0.05", "invalid-utf8:0.1"}}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

// ---- Closing the window at random moments.

// The identifier goes in first, then nickname, sex and photo address in that order.
bool IsBeingWritten(const Row& seen, const Row& whole) {
    const std::vector<std::string> cells = {seen.nickname, seen.sex, seen.photo};
    const std::vector<std::string> wholeCells = {whole.nickname, whole.sex, whole.photo};
    size_t filled = 0;
    while (filled < cells.size() && cells[filled] == wholeCells[filled])
        ++filled;
    return seen.id == whole.id &&
           std::all_of(cells.begin() + filled, cells.end(), [](auto& c) { return c.empty(); });
}

TEST(ClosingMidRun, EveryCloseEndsWithZeroAndLeavesOnlyWholeAnswers) {
    Sites sites({"--pages", "30", "--members", "10", "--seed", "17", "--latency-ms", "2"},
                {"stall@page=4", "drop:0.05", "bad-jpeg:0.05", "404:0.05"});
    ASSERT_TRUE(sites.up());
    StoreFiles files(sites.expected());
    const auto outsideBefore = OutsideTheStore();
    std::map<std::string, std::string> received; // store path -> what its photo request gives
    for (const Row& row : sites.expected())
        received[StorePath(row)] = Received(sites.AnswerFor(TargetOf(row.photo)));

    Figures figures;
    std::mt19937 random(20261211);
    for (int round = 0; round < 20; ++round) {
        const int delay = std::uniform_int_distribution<int>(0, 500)(random);
        SCOPED_TRACE("closed " + std::to_string(delay) + " ms after the click");
        files.Remove();
        sites.NewRequests();
        ChildEnd end = RunChild([&] {
            RunProgramAndExit(sites.port(), kClosedRunSeconds, [delay](MainWindow& window) {
                StartButton(window)->click();
                QTimer::singleShot(delay, &window, [&window] {
                    PrintRows(window);
                    window.close();
                });
            });
        });
        figures.Add(end);
        EXPECT_TRUE(end.exitedWithZero()) << "wait status " << end.status << "\n" << end.output;
        EXPECT_EQ(SanitizerFindings(end.output), 0) << end.output;

        // What was listed is the start of the whole run's list. Its last row may have been
        // caught between its cells, which are written one after another.
        const std::vector<Row> rows = ReadReport(end.output).rows;
        ASSERT_LE(rows.size(), sites.expected().size());
        for (size_t i = 0; i < rows.size(); ++i) {
            if (i + 1 < rows.size())
                EXPECT_EQ(rows[i], sites.expected()[i]) << "row " << i;
            else
                EXPECT_TRUE(IsBeingWritten(rows[i], sites.expected()[i]))
                    << rows[i] << " is not the start of " << sites.expected()[i];
        }
        figures.members += static_cast<int>(rows.size());
        figures.faults += sites.CountFaulted(sites.NewRequests());

        // A photo is stored whole as received, or not at all.
        for (const auto& [path, data] : received) {
            if (fs::exists(path)) {
                EXPECT_TRUE(ReadFile(path) == data) << path;
                figures.photos += data.empty() ? 0 : 1;
            }
        }
        EXPECT_EQ(files.Leftovers(), std::vector<std::string>());
    }
    EXPECT_EQ(OutsideTheStore(), outsideBefore);
    figures.Print("ClosingMidRun");
}

// ---- A long run.

TEST(LongRun, TwoThousandMembersInOneRun) {
    // Small photos: the site's photo making would otherwise take most of the run's time.
    Sites sites({"--pages", "50", "--members", "40", "--seed", "12", "--photo-size", "40x50"}, {});
    ASSERT_EQ(sites.expected().size(), 2000u);
    Figures figures;
    CheckWholeRun(sites, figures);
    figures.Print("LongRun");
}

} // namespace
