// Black-box tests of the demo site: the real executable on an ephemeral loopback port.

#define PCRE2_CODE_UNIT_WIDTH 8

#include <gtest/gtest.h>
#include <httplib.h>
#include <pcre2.h>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/demo_site_process.h"

namespace {

using namespace std::chrono_literals;
using namespace demo_site;

const std::string Phrase = "人符合您的搜索条件";
const std::string StartMarker = "<!-- 普通会员 -->";
const std::string EndMarker = "//点击触发函数";
const char* const MemberPattern =
    R"re(href="(.*?)"\sonclick="[a-zA-Z]+\(\{'first_serv':'normal','uid':([1-9][0-9]{4,}),)re"
    R"re('sex':'(m|f)'\}\)" target="_blank"\>\<img src="(.*?)"\salt="(.*?)")re";

struct Code {
    pcre2_code* code;
    explicit Code(const char* pattern, uint32_t options) {
        int error = 0;
        PCRE2_SIZE offset = 0;
        code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED, options,
                             &error, &offset, nullptr);
    }
    ~Code() { pcre2_code_free(code); }
    Code(const Code&) = delete;
    Code& operator=(const Code&) = delete;
};

struct MatchData {
    pcre2_match_data* data;
    explicit MatchData(const Code& c)
        : data(pcre2_match_data_create_from_pattern(c.code, nullptr)) {}
    ~MatchData() { pcre2_match_data_free(data); }
    MatchData(const MatchData&) = delete;
    MatchData& operator=(const MatchData&) = delete;
};

bool IsValidUtf8(const std::string& text) {
    Code empty("", PCRE2_UTF);
    MatchData match(empty);
    return pcre2_match(empty.code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0,
                       match.data, nullptr) >= 0;
}

// What a collector lists from one page: the block between the first markers, every match of
// the member pattern in it, the id from the link's 28th byte up to its first "?".
std::vector<Row> RowsOf(const std::string& page) {
    std::size_t start = page.find(StartMarker);
    std::size_t end = page.find(EndMarker);
    if (page.find(Phrase) == std::string::npos || start == std::string::npos ||
        end == std::string::npos || end < start) {
        return {};
    }
    std::string block = page.substr(start, end - start);
    Code code(MemberPattern, PCRE2_UTF | PCRE2_CASELESS | PCRE2_MATCH_INVALID_UTF);
    EXPECT_NE(code.code, nullptr);
    MatchData match(code);
    std::vector<Row> rows;
    PCRE2_SIZE offset = 0;
    auto subject = reinterpret_cast<PCRE2_SPTR>(block.data());
    while (pcre2_match(code.code, subject, block.size(), offset, 0, match.data, nullptr) > 0) {
        PCRE2_SIZE* v = pcre2_get_ovector_pointer(match.data);
        auto group = [&](int i) { return block.substr(v[2 * i], v[2 * i + 1] - v[2 * i]); };
        std::string link = group(1);
        std::size_t q = link.find('?');
        std::string id = q != std::string::npos && q > 27 ? link.substr(27, q - 27) : "";
        rows.push_back({id, group(5), group(3), group(4)});
        offset = v[1];
    }
    return rows;
}

std::vector<Row> RowsOfPages(const SiteProcess& site, int pages) {
    std::vector<Row> rows;
    for (int p = 1; p <= pages; ++p) {
        auto res = site.Page(p);
        EXPECT_TRUE(res) << "page " << p;
        if (res) {
            for (auto& r : RowsOf(res->body)) {
                rows.push_back(r);
            }
        }
    }
    return rows;
}

struct JpegInfo {
    bool header = false;
    int width = 0;
    int height = 0;
    bool clean = false; // decoded to the end without a warning
};

struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1);
}

struct Decompressor {
    jpeg_decompress_struct info{};
    ErrorJump error{};
    Decompressor() {
        info.err = jpeg_std_error(&error.manager);
        error.manager.error_exit = JumpOnError;
        error.manager.output_message = [](j_common_ptr) {};
    }
    ~Decompressor() { jpeg_destroy_decompress(&info); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
};

// Nothing with a destructor lives in this frame, so the error jump skips none.
void DecodeInto(Decompressor& d, const std::string& data, bool wholeImage, JpegInfo& info) {
    if (setjmp(d.error.jump)) {
        return;
    }
    jpeg_create_decompress(&d.info);
    jpeg_mem_src(&d.info, reinterpret_cast<const unsigned char*>(data.data()), data.size());
    jpeg_read_header(&d.info, TRUE);
    info.header = true;
    info.width = int(d.info.image_width);
    info.height = int(d.info.image_height);
    if (!wholeImage) {
        return;
    }
    jpeg_start_decompress(&d.info);
    JSAMPARRAY row =
        (*d.info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&d.info), JPOOL_IMAGE,
                                    d.info.output_width * d.info.output_components, 1);
    while (d.info.output_scanline < d.info.output_height) {
        jpeg_read_scanlines(&d.info, row, 1);
    }
    jpeg_finish_decompress(&d.info);
    info.clean = d.error.manager.num_warnings == 0;
}

JpegInfo DecodeJpeg(const std::string& data, bool wholeImage = true) {
    Decompressor d;
    JpegInfo info;
    DecodeInto(d, data, wholeImage, info);
    return info;
}

std::string PhotoPath(const Row& row) {
    return row.photo.substr(row.photo.find("/photo/"));
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::filesystem::path TempFile(const std::string& name) {
    return std::filesystem::temp_directory_path() /
           (name + "-" + std::to_string(getpid()) + ".txt");
}

TEST(DemoSite, ResultPagesHoldExactlyTheExpectedMembersInsideTheBlock) {
    SiteProcess site({"--pages", "3", "--members", "5", "--seed", "7"});
    ASSERT_GT(site.port(), 0);
    for (int p = 1; p <= 3; ++p) {
        auto res = site.Page(p);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_TRUE(IsValidUtf8(res->body));
        std::size_t phrase = res->body.find(Phrase);
        std::size_t start = res->body.find(StartMarker);
        std::size_t end = res->body.find(EndMarker);
        ASSERT_NE(phrase, std::string::npos) << p;
        EXPECT_LT(phrase, start);
        EXPECT_LT(start, end);
        EXPECT_NE(end, std::string::npos);
    }
    std::vector<Row> expected = site.Expected();
    EXPECT_EQ(RowsOfPages(site, 3), expected);

    // Every member gives one row and the entries that must not match add none; the listing
    // carries the upper-case sex, the entity kept as written, and the row whose link came
    // from the broken entry before it, so the comparison above covers them.
    ASSERT_EQ(expected.size(), 15u);
    auto has = [&](auto predicate) {
        return std::any_of(expected.begin(), expected.end(), predicate);
    };
    EXPECT_TRUE(has([](const Row& r) { return r.sex == "F"; }));
    EXPECT_TRUE(has([](const Row& r) { return r.nickname.find("&amp;") != std::string::npos; }));
    EXPECT_TRUE(
        has([](const Row& r) { return r.photo.find("/" + r.id + ".jpg") == std::string::npos; }));
    std::string photoBase = "http://127.0.0.1:" + std::to_string(site.port()) + "/photo/";
    for (const Row& r : expected) {
        EXPECT_TRUE(r.photo.starts_with(photoBase)) << r;
        EXPECT_GE(r.id.size(), 5u) << r;
    }
}

TEST(DemoSite, PagesBeyondTheLastHaveNoPhrase) {
    SiteProcess site({"--pages", "2"});
    // 4294967297 would be page 1 if it were cut down to 32 bits.
    for (std::string p : {"3", "99", "100", "101", "4294967297"}) {
        auto res = site.Client().Get(SearchPath + p);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_EQ(res->body.find(Phrase), std::string::npos) << p;
        EXPECT_NE(res->body.find("</html>"), std::string::npos) << p;
    }
}

TEST(DemoSite, ProfilePagesLiveUnderTheProfilePrefix) {
    SiteProcess site({"--pages", "1", "--members", "2"});
    auto page = site.Page(1);
    ASSERT_TRUE(page);
    std::size_t href = page->body.find("href=\"", page->body.find(StartMarker));
    ASSERT_NE(href, std::string::npos);
    std::string link = page->body.substr(href + 6, page->body.find('?', href) - href - 6);
    std::string origin = "http://127.0.0.1:" + std::to_string(site.port());
    ASSERT_TRUE(link.starts_with(origin));
    EXPECT_EQ(link[26], '/'); // the id starts at the 28th byte
    auto profile = site.Client().Get(link.substr(origin.size()));
    ASSERT_TRUE(profile);
    EXPECT_EQ(profile->status, 200);
    EXPECT_NE(profile->body.find(link.substr(27)), std::string::npos);
}

TEST(DemoSite, PhotosAreDistinctJpegsOfTheAskedSize) {
    struct Case {
        std::vector<std::string> args;
        int width, height;
    };
    for (const Case& c : {Case{{}, 220, 270}, Case{{"--photo-size", "64x48"}, 64, 48}}) {
        std::vector<std::string> args = {"--pages", "1", "--members", "2"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SiteProcess site(args);
        std::vector<Row> rows = site.Expected();
        ASSERT_EQ(rows.size(), 2u);
        std::vector<std::string> photos;
        for (const Row& r : rows) {
            auto res = site.Client().Get(PhotoPath(r));
            ASSERT_TRUE(res);
            EXPECT_EQ(res->status, 200);
            EXPECT_EQ(res->get_header_value("Content-Type"), "image/jpeg");
            JpegInfo info = DecodeJpeg(res->body);
            EXPECT_TRUE(info.clean) << r;
            EXPECT_EQ(info.width, c.width);
            EXPECT_EQ(info.height, c.height);
            photos.push_back(res->body);
        }
        EXPECT_NE(photos[0], photos[1]);
        // The cached photo is the same photo.
        auto again = site.Client().Get(PhotoPath(rows[0]));
        ASSERT_TRUE(again);
        EXPECT_EQ(again->body, photos[0]);
    }
}

TEST(DemoSite, LogRecordsEveryRequestLineBeforeItIsAnswered) {
    std::filesystem::path log = TempFile("demo-site-log");
    SiteProcess site({"--log", log.string()});
    const std::vector<std::string> targets = {SearchPath + "1", "/photo/123456.jpg",
                                              "/no/such/page?x=%41&y=", SearchPath + "100"};
    std::vector<std::string> expected;
    for (const auto& target : targets) {
        auto res = site.Client().Get(target);
        ASSERT_TRUE(res);
        expected.push_back("GET " + target);
        EXPECT_EQ(ReadLines(log.string()), expected);
    }
    EXPECT_EQ(site.Stop(SIGINT), 0);
    EXPECT_EQ(ReadLines(log.string()), expected);
    std::filesystem::remove(log);
}

TEST(DemoSite, FaultOptionsAreCheckedAtStart) {
    struct Case {
        const char* spec;
        bool valid;
    };
    const Case cases[] = {
        {"404", true},
        {"stall:0.25", true},
        {"huge-line@page=3", true},
        {"bad-jpeg@photo=2", true},
        {"redirect-loop@photo=1", true},
        {"bad-jpeg@page=2", false},
        {"huge-line@photo=1", false},
        {"drop:1.5", false},
        {"drop:", false},
        {"teapot", false},
        {"404@page=0", false},
        {"404@row=1", false},
    };
    for (const Case& c : cases) {
        auto [code, out] = RunTool({"--list-expected", "--fault", c.spec});
        EXPECT_EQ(code, c.valid ? 0 : 2) << c.spec;
    }
    EXPECT_EQ(
        RunTool({"--list-expected", "--profile-prefix", "http://127.0.0.1:8600/homes/"}).first, 2);
    EXPECT_EQ(RunTool({"--list-expected", "--profile-prefix", "http://127.0.0.1:8600/home/"}).first,
              0);
}

// Pages that arrive changed but whole still list their members.
TEST(DemoSite, HugeLineAndInvalidUtf8PagesKeepTheirMembers) {
    SiteProcess site({"--pages", "3", "--members", "4", "--fault", "invalid-utf8@page=1", "--fault",
                      "huge-line@page=2", "--fault", "huge-line@page=3"});
    auto first = site.Page(1);
    auto second = site.Page(2);
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_FALSE(IsValidUtf8(first->body));
    EXPECT_GT(second->body.size(), 50u << 20);
    EXPECT_EQ(second->body.find('\n'), std::string::npos);

    // On one line the entries that do not match lend their links to the next member.
    std::vector<Row> expected = site.Expected();
    EXPECT_EQ(RowsOfPages(site, 3), expected);
    EXPECT_EQ(expected.size(), 12u);
}

// Each fault on page 1 leaves page 1 without members; page 2 is listed as usual.
TEST(DemoSite, PageFaultsDoWhatTheySay) {
    struct Case {
        const char* kind;
        void (*check)(const SiteProcess&);
    };
    const Case cases[] = {
        {"404",
         [](const SiteProcess& site) {
             auto res = site.Page(1);
             ASSERT_TRUE(res);
             EXPECT_EQ(res->status, 404);
             EXPECT_NE(res->body.find("<html>"), std::string::npos);
         }},
        {"drop",
         [](const SiteProcess& site) {
             std::string body;
             std::string length;
             auto res = site.Client().Get(
                 SearchPath + "1",
                 [&](const httplib::Response& r) {
                     length = r.get_header_value("Content-Length");
                     return true;
                 },
                 [&](const char* data, std::size_t size) {
                     body.append(data, size);
                     return true;
                 });
             EXPECT_FALSE(res); // the connection closed before the declared length
             EXPECT_GT(body.size(), 0u);
             EXPECT_LT(body.size(), std::stoul(length));
             EXPECT_EQ(body.find(Phrase), std::string::npos);
         }},
        {"garbage",
         [](const SiteProcess& site) {
             auto res = site.Page(1);
             auto again = site.Page(1);
             ASSERT_TRUE(res);
             ASSERT_TRUE(again);
             EXPECT_EQ(res->status, 200);
             EXPECT_GE(res->body.size(), 2048u);
             EXPECT_FALSE(IsValidUtf8(res->body));
             EXPECT_EQ(res->body, again->body); // reproducible from the seed
         }},
        {"redirect-loop",
         [](const SiteProcess& site) {
             auto client = site.Client();
             client.set_follow_location(true);
             auto followed = client.Get(SearchPath + "1");
             EXPECT_EQ(followed.error(), httplib::Error::ExceedRedirectCount);
             auto res = site.Page(1);
             ASSERT_TRUE(res);
             EXPECT_EQ(res->status, 302);
             EXPECT_EQ(res->get_header_value("Location"), SearchPath + "1");
         }},
        {"markers-swapped",
         [](const SiteProcess& site) {
             auto res = site.Page(1);
             ASSERT_TRUE(res);
             EXPECT_NE(res->body.find(Phrase), std::string::npos);
             EXPECT_LT(res->body.find(EndMarker), res->body.find(StartMarker));
         }},
        {"oversized",
         [](const SiteProcess& site) {
             std::size_t received = 0;
             std::string length;
             auto res = site.Client().Get(
                 SearchPath + "1",
                 [&](const httplib::Response& r) {
                     length = r.get_header_value("Content-Length");
                     return true;
                 },
                 [&](const char*, std::size_t size) {
                     received += size;
                     return received < (4u << 20); // enough to see it stream
                 });
             EXPECT_EQ(res.error(), httplib::Error::Canceled);
             EXPECT_GE(received, 4u << 20);
             EXPECT_GE(std::stoull(length), 200ull << 20);
         }},
        {"stall",
         [](const SiteProcess& site) {
             auto client = site.Client();
             client.set_read_timeout(1, 0);
             std::string body;
             auto res = client.Get(SearchPath + "1", [&](const char* data, std::size_t size) {
                 body.append(data, size);
                 return true;
             });
             EXPECT_EQ(res.error(), httplib::Error::Read);
             EXPECT_GT(body.size(), 0u);
             EXPECT_EQ(body.find(Phrase), std::string::npos);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        SiteProcess site(
            {"--pages", "2", "--members", "3", "--fault", std::string(c.kind) + "@page=1"});
        c.check(site);
        auto second = site.Page(2);
        ASSERT_TRUE(second);
        std::vector<Row> expected = site.Expected();
        EXPECT_EQ(RowsOf(second->body), expected);
        EXPECT_EQ(expected.size(), 3u);
    }
}

TEST(DemoSite, StalledResponsesEndWhenTheClientGivesUpOrTheServerStops) {
    // More stalls than the server has threads: each must end when its client gives up, or the
    // last request would never be answered.
    std::vector<std::string> args = {"--pages", "1"};
    for (int p = 1; p <= 12; ++p) {
        args.insert(args.end(), {"--fault", "stall@page=" + std::to_string(p)});
    }
    SiteProcess site(args);
    for (int p = 1; p <= 12; ++p) {
        auto client = site.Client();
        client.set_read_timeout(0, 200000);
        EXPECT_FALSE(client.Get(SearchPath + std::to_string(p))) << p;
    }
    auto served = site.Page(13);
    ASSERT_TRUE(served);
    EXPECT_EQ(served->status, 200);

    // A client that waits longer than the test does must not keep the server from stopping.
    std::filesystem::path log = TempFile("demo-site-stall");
    SiteProcess stalled({"--fault", "stall@page=1", "--log", log.string()});
    bool answered = true;
    std::thread client([&] {
        httplib::Client c("127.0.0.1", stalled.port());
        c.set_read_timeout(60, 0);
        answered = static_cast<bool>(c.Get(SearchPath + "1"));
    });
    for (int i = 0; i < 200 && ReadLines(log.string()).empty(); ++i) {
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(stalled.Stop(SIGTERM), 0);
    client.join();
    EXPECT_FALSE(answered);
    std::filesystem::remove(log);
}

TEST(DemoSite, PhotoFaultsHitTheChosenRowsOnly) {
    SiteProcess plain({"--pages", "1", "--members", "6"});
    std::vector<Row> rows = plain.Expected();
    ASSERT_EQ(rows.size(), 6u);
    // bad-jpeg truncates an odd id and declares a huge size for an even one: pick one of each.
    auto idOf = [](const Row& r) {
        std::string p = PhotoPath(r);
        return std::stoull(p.substr(7, p.size() - 11));
    };
    int odd = 0;
    int even = 0;
    for (int i = 0; i < 6; ++i) {
        (idOf(rows[i]) % 2 ? odd : even) = i + 1;
    }
    ASSERT_TRUE(odd && even);
    int other = 1;
    while (other == odd || other == even) {
        ++other;
    }

    SiteProcess site({"--pages", "1", "--members", "6", "--fault",
                      "bad-jpeg@photo=" + std::to_string(odd), "--fault",
                      "bad-jpeg@photo=" + std::to_string(even), "--fault",
                      "404@photo=" + std::to_string(other)});
    // Photo faults change no row; only the port in the photo addresses differs.
    auto withoutOrigin = [](std::vector<Row> list) {
        for (Row& r : list) {
            r.photo = PhotoPath(r);
        }
        return list;
    };
    EXPECT_EQ(withoutOrigin(site.Expected()), withoutOrigin(rows));

    auto truncated = site.Client().Get(PhotoPath(rows[odd - 1]));
    auto whole = plain.Client().Get(PhotoPath(rows[odd - 1]));
    ASSERT_TRUE(truncated);
    ASSERT_TRUE(whole);
    EXPECT_LT(truncated->body.size(), whole->body.size());
    EXPECT_TRUE(whole->body.starts_with(truncated->body));
    JpegInfo cut = DecodeJpeg(truncated->body);
    EXPECT_TRUE(cut.header);
    EXPECT_FALSE(cut.clean);

    auto huge = site.Client().Get(PhotoPath(rows[even - 1]));
    ASSERT_TRUE(huge);
    JpegInfo header = DecodeJpeg(huge->body, false);
    EXPECT_EQ(header.width, 65500);
    EXPECT_EQ(header.height, 65500);

    auto missing = site.Client().Get(PhotoPath(rows[other - 1]));
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
    for (int i = 1; i <= 6; ++i) {
        if (i != odd && i != even && i != other) {
            auto res = site.Client().Get(PhotoPath(rows[i - 1]));
            ASSERT_TRUE(res);
            EXPECT_TRUE(DecodeJpeg(res->body).clean) << i;
        }
    }
}

TEST(DemoSite, FaultRatesPickTheSamePagesOnEveryRun) {
    const std::vector<std::string> args = {"--pages", "10", "--members", "2",
                                           "--seed",  "3",  "--fault",   "404:0.5"};
    std::vector<int> lost[2];
    for (auto& pages : lost) {
        SiteProcess site(args);
        std::vector<Row> listed;
        for (int p = 1; p <= 10; ++p) {
            auto res = site.Page(p);
            ASSERT_TRUE(res);
            if (res->status == 404) {
                pages.push_back(p);
            }
            for (auto& r : RowsOf(res->body)) {
                listed.push_back(r);
            }
        }
        EXPECT_EQ(listed, site.Expected());
    }
    EXPECT_EQ(lost[0], lost[1]);
    EXPECT_GT(lost[0].size(), 0u);
    EXPECT_LT(lost[0].size(), 10u);
}

} // namespace
