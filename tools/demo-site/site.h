// The demo site's content: deterministic members, result pages, faults and the rows a correct
// collector lists. Everything here is a pure function of the options, so a run is reproducible.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace demo {

enum class FaultKind {
    NotFound,
    Drop,
    Stall,
    Garbage,
    Oversized,
    RedirectLoop,
    HugeLine,
    InvalidUtf8,
    MarkersSwapped,
    BadJpeg,
};

// One --fault option: either a rate over every request it can apply to, or one target.
struct Fault {
    FaultKind kind;
    double rate = 0; // used when neither page nor photo is set
    int page = 0;    // result.php?...&p=page
    int photo = 0;   // the photo of the photo-th expected row (1-based)
};

struct Options {
    int port = 8600;
    int pages = 3;
    int members = 20;
    std::uint64_t seed = 1;
    int photoWidth = 220;
    int photoHeight = 270;
    int latencyMs = 0;
    std::string profilePrefix; // exactly 27 bytes once resolved
    std::string logFile;
    std::vector<Fault> faults;
};

// Parses "KIND", "KIND:RATE", "KIND@page=N" or "KIND@photo=N"; nullopt when malformed or when
// the kind cannot apply to the chosen target.
std::optional<Fault> ParseFault(std::string_view text);

// "http://127.0.0.1:PORT/" followed by a path segment of letters and "/", 27 bytes in all.
std::string DefaultProfilePrefix(int port);

// The path part of the profile prefix ("/home/" for the default), under which profiles live.
std::string ProfilePath(const std::string& prefix);

struct Row {
    std::string id;
    std::string nickname;
    std::string sex;
    std::string photo;
};

enum class EntryForm;
struct MemberEntry;

class Site {
  public:
    explicit Site(Options options);

    const Options& options() const { return options_; }

    // The page served for result.php?...&p=page, any page number, before transport faults.
    std::string ResultPage(int page) const;
    // The rows a collector lists from pages 1..100, in order, under the configured faults.
    const std::vector<Row>& ExpectedRows() const { return rows_; }

    // The fault that applies to a page request or to the photo of a member id, if any.
    std::optional<FaultKind> PageFault(int page) const;
    std::optional<FaultKind> PhotoFault(std::uint64_t id) const;

    std::string PhotoAddress(std::uint64_t id) const;

  private:
    MemberEntry MakeEntry(int page, int slot, EntryForm form) const;
    std::vector<std::vector<MemberEntry>> PageLines(int page) const;
    std::optional<FaultKind> FaultFor(bool page, std::uint64_t key) const;

    Options options_;
    std::vector<Row> rows_;
    std::vector<std::uint64_t> rowPhotoIds_; // photo id of each expected row, for @photo=N
};

// Random bytes, huge bodies and corrupted photos, derived from the seed and a key.
std::string GarbageBody(std::uint64_t seed, std::uint64_t key);
std::string InvalidUtf8Page(const std::string& page);
std::string HugeLinePage(const std::string& page);
std::string MarkersSwappedPage(const std::string& page);
constexpr std::uint64_t OversizedLength = 300ull << 20;
// For an odd id the first half of the photo; for an even id the whole photo with a frame header
// that declares 65500x65500 pixels.
std::string BadJpeg(const std::string& jpeg, std::uint64_t id);

} // namespace demo
