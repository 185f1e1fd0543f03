// The acceptance kit's report: one named check per road, its status and its evidence, and the
// system's facts; written as a tab-separated table (one line per check) and as a page that a
// browser shows offline, with the screenshots as files beside it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kelto::acceptance {

enum class Status {
    Pass,
    Fail,
    NeedsPerson,   // the kit shows what it saw; a person judges it
    NotUnderWine,  // the road exists only on real Windows
    NotHere,       // no documented way to observe it on this system
};

// The words of the report: "pass", "fail", "needs a person", "not checkable under Wine",
// "not checkable here".
std::string_view StatusText(Status status);

struct Check {
    std::string name;
    Status status = Status::Fail;
    std::string evidence;
    // Files beside the report (screenshots), by file name.
    std::vector<std::string> pictures;
};

struct Fact {
    std::string name;
    std::string value;
};

// One TSV field: a backslash, tab, line feed and carriage return become \\ \t \n \r, so that
// a field never ends its line or its column early.
std::string EscapeTsvField(std::string_view text);
// The header "check<TAB>status<TAB>evidence" and one line per check, each ended by LF.
std::string TsvReport(const std::vector<Check>& checks);

// Text for an HTML element or a double-quoted attribute.
std::string EscapeHtml(std::string_view text);
// A complete page (UTF-8, no script, no external resource but the pictures beside it).
std::string HtmlReport(std::string_view title, const std::vector<Fact>& facts,
                       const std::vector<Check>& checks);

// True when some check failed: the kit's exit code says so.
bool AnyFailed(const std::vector<Check>& checks);

}  // namespace kelto::acceptance
