#include "site.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <utility>

namespace demo {

namespace {

std::uint64_t Mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

std::uint64_t Hash(std::uint64_t seed, std::uint64_t a, std::uint64_t b = 0) {
    return Mix(seed ^ Mix(a ^ Mix(b)));
}

constexpr std::array<std::pair<std::string_view, FaultKind>, 10> FaultNames{{
    {"404", FaultKind::NotFound},
    {"drop", FaultKind::Drop},
    {"stall", FaultKind::Stall},
    {"garbage", FaultKind::Garbage},
    {"oversized", FaultKind::Oversized},
    {"redirect-loop", FaultKind::RedirectLoop},
    {"huge-line", FaultKind::HugeLine},
    {"invalid-utf8", FaultKind::InvalidUtf8},
    {"markers-swapped", FaultKind::MarkersSwapped},
    {"bad-jpeg", FaultKind::BadJpeg},
}};

bool AppliesToPages(FaultKind kind) {
    return kind != FaultKind::BadJpeg;
}

bool AppliesToPhotos(FaultKind kind) {
    return kind != FaultKind::HugeLine && kind != FaultKind::InvalidUtf8 &&
           kind != FaultKind::MarkersSwapped;
}

// A page with one of these arrives without its members.
bool LosesMembers(FaultKind kind) {
    return kind != FaultKind::HugeLine && kind != FaultKind::InvalidUtf8;
}

bool ParseInt(std::string_view text, int& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

const std::string_view BlockStart = "<!-- 普通会员 -->";

// Every nickname is drawn from characters that GBK holds, so the collector can show them all.
constexpr std::array<std::string_view, 24> NicknameChars{
    "小", "雪", "晴", "月", "兰", "芳", "静", "婷", "雅", "琳", "梦", "瑶",
    "欣", "怡", "佳", "丽", "美", "玉", "春", "花", "秋", "菊", "梅", "荷"};

std::string Nickname(std::uint64_t seed, std::uint64_t id) {
    std::uint64_t h = Hash(seed, id, 1);
    std::string name;
    for (std::uint64_t n = 2 + h % 3; n > 0; --n) {
        h = Mix(h);
        name += NicknameChars[h % NicknameChars.size()];
    }
    return name;
}

} // namespace

std::optional<Fault> ParseFault(std::string_view text) {
    std::size_t split = text.find_first_of(":@");
    std::string_view name = text.substr(0, split);
    std::optional<Fault> fault;
    for (const auto& [n, kind] : FaultNames) {
        if (n == name) {
            fault = Fault{kind, 1.0};
        }
    }
    if (!fault || split == std::string_view::npos) {
        return fault;
    }
    std::string_view rest = text.substr(split + 1);
    if (text[split] == ':') {
        std::string number(rest);
        char* end = nullptr;
        fault->rate = std::strtod(number.c_str(), &end);
        bool valid = !number.empty() && *end == '\0' && fault->rate >= 0 && fault->rate <= 1;
        return valid ? fault : std::nullopt;
    }
    int n = 0;
    if (rest.starts_with("page=") && ParseInt(rest.substr(5), n) && n >= 1 &&
        AppliesToPages(fault->kind)) {
        fault->page = n;
        return fault;
    }
    if (rest.starts_with("photo=") && ParseInt(rest.substr(6), n) && n >= 1 &&
        AppliesToPhotos(fault->kind)) {
        fault->photo = n;
        return fault;
    }
    return std::nullopt;
}

std::string DefaultProfilePrefix(int port) {
    std::string base = "http://127.0.0.1:" + std::to_string(port) + "/";
    return base + std::string("homepage").substr(0, 26 - base.size()) + "/";
}

std::string ProfilePath(const std::string& prefix) {
    return prefix.substr(prefix.find('/', std::string_view("http://").size()));
}

enum class EntryForm { Plain, UpperCase, Wrapped, ShortUid, LeadingZeroUid, SexX, Broken };

struct MemberEntry {
    EntryForm form;
    std::uint64_t id;
    std::string uid;
    std::string sex;
    std::string nickname;

    bool Matches() const {
        return form == EntryForm::Plain || form == EntryForm::UpperCase ||
               form == EntryForm::Wrapped;
    }
};

Site::Site(Options options) : options_(std::move(options)) {
    for (int page = 1; page <= options_.pages && page <= 100; ++page) {
        std::optional<FaultKind> fault = PageFault(page);
        if (fault && LosesMembers(*fault)) {
            continue;
        }
        std::vector<std::vector<MemberEntry>> lines = PageLines(page);
        if (fault == FaultKind::HugeLine) {
            std::vector<MemberEntry> joined;
            for (auto& line : lines) {
                joined.insert(joined.end(), line.begin(), line.end());
            }
            lines = {joined};
        }
        // A match cannot cross a line feed but starts at the first href the last match left
        // behind: entries that fail to match hand their link to the next entry on their line.
        for (const auto& line : lines) {
            std::optional<std::uint64_t> pendingLink;
            for (const auto& entry : line) {
                if (!entry.Matches()) {
                    pendingLink = pendingLink.value_or(entry.id);
                    continue;
                }
                rows_.push_back({std::to_string(pendingLink.value_or(entry.id)), entry.nickname,
                                 entry.sex, PhotoAddress(entry.id)});
                rowPhotoIds_.push_back(entry.id);
                pendingLink.reset();
            }
        }
    }
}

std::string Site::PhotoAddress(std::uint64_t id) const {
    return "http://127.0.0.1:" + std::to_string(options_.port) + "/photo/" + std::to_string(id) +
           ".jpg";
}

MemberEntry Site::MakeEntry(int page, int slot, EntryForm form) const {
    std::uint64_t serial = std::uint64_t(page - 1) * (options_.members + 16) + slot;
    std::uint64_t id = 100000 + Hash(options_.seed, 0) % 800000 + serial * 16 +
                       Hash(options_.seed, serial, 2) % 16;
    std::string sex = Hash(options_.seed, id, 3) % 7 == 0 ? "m" : "f";
    return MemberEntry{form, id, std::to_string(id), sex, Nickname(options_.seed, id)};
}

// Member entries of a result page, line by line. Pages 2, 5, 8, ... and 3, 6, 9, ... carry the
// entries that test a collector's matching; the others hold plain members only.
std::vector<std::vector<MemberEntry>> Site::PageLines(int page) const {
    auto entry = [&](int slot, EntryForm form) { return MakeEntry(page, slot, form); };
    std::vector<std::vector<MemberEntry>> lines;
    for (int i = 0; i < options_.members; ++i) {
        lines.push_back({entry(i, EntryForm::Plain)});
    }
    int decoy = options_.members;
    auto insertAt = [&](std::size_t line, std::vector<MemberEntry> entries) {
        lines.insert(lines.begin() + std::min(line, lines.size()), std::move(entries));
    };
    if (page % 3 == 2) {
        if (!lines.empty()) {
            lines[0][0].form = EntryForm::UpperCase;
            lines[0][0].sex = "F";
        }
        MemberEntry shortUid = entry(decoy, EntryForm::ShortUid);
        shortUid.uid = std::to_string(1000 + shortUid.id % 9000);
        MemberEntry leadingZero = entry(decoy + 1, EntryForm::LeadingZeroUid);
        leadingZero.uid = "0" + leadingZero.uid;
        MemberEntry sexX = entry(decoy + 2, EntryForm::SexX);
        sexX.sex = "x";
        insertAt(1, {sexX});
        insertAt(1, {leadingZero});
        insertAt(1, {shortUid});
    } else if (page % 3 == 0) {
        if (lines.size() > 0) {
            lines[0][0].uid = std::to_string(lines[0][0].id + 1);
        }
        MemberEntry broken = entry(decoy, EntryForm::Broken);
        if (lines.size() > 1) {
            lines[1].insert(lines[1].begin(), broken);
        } else {
            lines.push_back({broken});
        }
        if (lines.size() > 2) {
            lines[2][0].form = EntryForm::Wrapped;
        }
        if (lines.size() > 3) {
            std::string& name = lines[3][0].nickname;
            name.insert(NicknameChars[0].size(), "&amp;");
        }
    }
    return lines;
}

namespace {

std::string EntryHtml(const std::string& link, const std::string& photo, const MemberEntry& e) {
    std::string call = "({'first_serv':'normal','uid':" + e.uid + ",'sex':'" + e.sex + "'})";
    switch (e.form) {
    case EntryForm::UpperCase:
        return "<A HREF=\"" + link +
               "\" ONCLICK=\"SHOWMEMBER({'FIRST_SERV':'NORMAL','UID':" + e.uid + ",'SEX':'" +
               e.sex + "'})\" TARGET=\"_BLANK\"><IMG SRC=\"" + photo + "\" ALT=\"" + e.nickname +
               "\"></A>";
    case EntryForm::Broken:
        return "<a href=\"" + link +
               "\" onclick=\"showMember({'first_serv':'normal','uid':" + e.uid + ",";
    case EntryForm::Wrapped:
        return "<a href=\"" + link + "\" onclick=\"showMember" + call +
               "\" target=\"_blank\"><img src=\"" + photo + "\"\nalt=\"" + e.nickname +
               "\" class=\"avatar\"></a>";
    default:
        return "<a href=\"" + link + "\" onclick=\"showMember" + call +
               "\" target=\"_blank\"><img src=\"" + photo + "\" alt=\"" + e.nickname +
               "\" class=\"avatar\"></a>";
    }
}

std::string Head(int page) {
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<title>会员搜索 - 第" +
           std::to_string(page) +
           "页</title>\n<link rel=\"stylesheet\" href=\"/static/site.css\">\n"
           "<script>var currentPage = " +
           std::to_string(page) +
           ";</script>\n</head>\n<body>\n<div class=\"header\"><a href=\"/\">首页</a> | "
           "<a href=\"/result.php\">会员搜索</a></div>\n"
           "<form class=\"search\" action=\"/result.php\" method=\"get\">\n"
           "<input type=\"hidden\" name=\"t\" value=\"0\">\n"
           "<select name=\"y\"><option value=\"0\">年龄不限</option>"
           "<option value=\"1\">18-25岁</option><option value=\"2\">26-35岁</option></select>\n"
           "<select name=\"m\"><option value=\"1\">女会员</option></select>\n"
           "<label><input type=\"checkbox\" name=\"re\" value=\"1\" checked>有照片</label>\n"
           "<button type=\"submit\">搜索</button>\n</form>\n";
}

const std::string Tail = "<script>\n//点击触发函数\nfunction showMember(info) {\n"
                         "    window.open('/home/' + info.uid);\n}\n</script>\n"
                         "<div class=\"footer\">版权所有 | 联系我们</div>\n</body>\n</html>\n";

} // namespace

std::string Site::ResultPage(int page) const {
    std::string pageText = std::to_string(page);
    auto html = [&](const MemberEntry& e) {
        return EntryHtml(options_.profilePrefix + std::to_string(e.id) +
                             "?from=search&p=" + pageText,
                         PhotoAddress(e.id), e);
    };
    std::string out = Head(page);
    if (page < 1 || page > options_.pages) {
        // Near the phrase but not it, and a block of recommendations a collector must not list.
        out += "<div class=\"empty\">抱歉，没有会员符合您的搜索条件。</div>\n";
        out += std::string(BlockStart) + "\n<div class=\"list\">\n";
        if (page >= 1) {
            out += html(MakeEntry(page, 0, EntryForm::Plain)) + "\n";
            out += html(MakeEntry(page, 1, EntryForm::Plain)) + "\n";
        }
        return out + "</div>\n" + Tail;
    }
    out += "<div class=\"summary\">共有 " + std::to_string(options_.pages * options_.members) +
           " 人符合您的搜索条件，当前第 " + pageText + "/" + std::to_string(options_.pages) +
           " 页</div>\n";
    std::vector<std::vector<MemberEntry>> lines = PageLines(page);
    // Recommended members above the block, in the entry form, that a collector must not list.
    out += "<!-- 推荐会员 -->\n<div class=\"vip\">\n";
    for (int slot : {options_.members + 8, options_.members + 9}) {
        out += html(MakeEntry(page, slot, EntryForm::Plain)) + "\n";
    }
    out += "</div>\n" + std::string(BlockStart) + "\n<div class=\"list\">\n";
    for (const auto& line : lines) {
        for (const auto& e : line) {
            out += html(e);
        }
        out += "\n";
    }
    out += "</div>\n<div class=\"pager\">";
    if (page < options_.pages) {
        out += "<a href=\"/result.php?t=0&amp;y=0&amp;m=1&amp;s=0&amp;re=1&amp;d=&amp;p=" +
               std::to_string(page + 1) + "\">下一页</a>";
    }
    return out + "</div>\n" + Tail;
}

std::optional<FaultKind> Site::FaultFor(bool page, std::uint64_t key) const {
    for (std::size_t i = 0; i < options_.faults.size(); ++i) {
        const Fault& f = options_.faults[i];
        if (!(page ? AppliesToPages(f.kind) : AppliesToPhotos(f.kind))) {
            continue;
        }
        bool hit = false;
        if (f.page != 0) {
            hit = page && key == std::uint64_t(f.page);
        } else if (f.photo != 0) {
            hit = !page && std::size_t(f.photo) <= rowPhotoIds_.size() &&
                  rowPhotoIds_[f.photo - 1] == key;
        } else {
            // Keyed by the resource, not by the request order, so a rerun fails the same way.
            double draw = double(Hash(options_.seed, key * 2 + page, 4 + i) >> 11) * 0x1p-53;
            hit = draw < f.rate;
        }
        if (hit) {
            return f.kind;
        }
    }
    return std::nullopt;
}

std::optional<FaultKind> Site::PageFault(int page) const {
    return page < 1 ? std::nullopt : FaultFor(true, std::uint64_t(page));
}

std::optional<FaultKind> Site::PhotoFault(std::uint64_t id) const {
    return FaultFor(false, id);
}

std::string GarbageBody(std::uint64_t seed, std::uint64_t key) {
    std::uint64_t h = Hash(seed, key, 5);
    std::string body(2048 + h % 8192, '\0');
    for (char& c : body) {
        h = Mix(h);
        c = char(h >> 56);
    }
    return body;
}

std::string InvalidUtf8Page(const std::string& page) {
    // A lone continuation byte, an overlong "/", an encoded surrogate, a cut-off sequence
    // right before the phrase, and bytes that never occur in UTF-8.
    std::string out = page;
    auto insertBefore = [&](std::string_view at, std::string_view bytes) {
        std::size_t pos = out.find(at);
        if (pos != std::string::npos) {
            out.insert(pos, bytes);
        }
    };
    insertBefore("</body>", "\xF8\x88\x80\x80\x80\n");
    insertBefore("<div class=\"list\">", "\x80\xC0\xAF\xED\xA0\x80\n");
    insertBefore("共有", "\xE4\xBD");
    insertBefore("</title>", "\xFF\xFE");
    return out;
}

std::string HugeLinePage(const std::string& page) {
    constexpr std::size_t Size = 50u << 20;
    const std::string_view piece = "<span class=\"intro\">欢迎来到会员交友，认识新朋友。</span>";
    std::string filler;
    filler.reserve(Size + piece.size());
    while (filler.size() < Size) {
        filler += piece;
    }
    std::string out = page;
    for (char& c : out) {
        if (c == '\n') {
            c = ' ';
        }
    }
    std::size_t pos = out.find(BlockStart);
    out.insert(pos == std::string::npos ? out.size() : pos + BlockStart.size(), filler);
    return out;
}

std::string MarkersSwappedPage(const std::string& page) {
    std::string out = page;
    out.insert(out.find("</head>"), "<script>\n//点击触发函数（页头）\n</script>\n");
    return out;
}

std::string BadJpeg(const std::string& jpeg, std::uint64_t id) {
    if (id % 2 == 1) {
        return jpeg.substr(0, jpeg.size() / 2);
    }
    std::string out = jpeg;
    std::size_t sof = out.find("\xFF\xC0");
    if (sof != std::string::npos && sof + 9 <= out.size()) {
        for (std::size_t i : {sof + 5, sof + 7}) {
            out[i] = char(0xFF);
            out[i + 1] = char(0xDC);
        }
    }
    return out;
}

} // namespace demo
