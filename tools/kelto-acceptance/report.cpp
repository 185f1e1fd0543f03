#include "report.h"

namespace kelto::acceptance {

std::string_view StatusText(Status status) {
    switch (status) {
        case Status::Pass:
            return "pass";
        case Status::Fail:
            return "fail";
        case Status::NeedsPerson:
            return "needs a person";
        case Status::NotUnderWine:
            return "not checkable under Wine";
        case Status::NotHere:
            return "not checkable here";
    }
    return "fail";
}

std::string EscapeTsvField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string TsvReport(const std::vector<Check>& checks) {
    std::string out = "check\tstatus\tevidence\n";
    for (const auto& c : checks) {
        out += EscapeTsvField(c.name);
        out += '\t';
        out += StatusText(c.status);
        out += '\t';
        out += EscapeTsvField(c.evidence);
        out += '\n';
    }
    return out;
}

std::string EscapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

namespace {
std::string_view StatusClass(Status status) {
    switch (status) {
        case Status::Pass:
            return "pass";
        case Status::Fail:
            return "fail";
        case Status::NeedsPerson:
            return "person";
        default:
            return "other";
    }
}
}  // namespace

std::string HtmlReport(std::string_view title, const std::vector<Fact>& facts,
                       const std::vector<Check>& checks) {
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + EscapeHtml(title) +
        "</title>\n<style>body{font-family:sans-serif;margin:1em}table{border-collapse:collapse}"
        "td,th{border:1px solid #999;padding:4px;vertical-align:top;text-align:left}"
        "pre{white-space:pre-wrap;margin:0;unicode-bidi:plaintext}.pass{background:#d8f0d8}"
        ".fail{background:#f6d0d0}.person{background:#f6ecc8}.other{background:#e4e4e4}"
        "img{max-width:640px;border:1px solid #666;display:block;margin-top:4px}</style></head><body>\n<h1>" +
        EscapeHtml(title) + "</h1>\n<h2>System</h2>\n<table>\n";
    for (const auto& f : facts)
        out += "<tr><th>" + EscapeHtml(f.name) + "</th><td>" + EscapeHtml(f.value) + "</td></tr>\n";
    out += "</table>\n<h2>Checks</h2>\n<table>\n<tr><th>check</th><th>status</th><th>evidence</th></tr>\n";
    for (const auto& c : checks) {
        out += "<tr class=\"" + std::string(StatusClass(c.status)) + "\"><td>" + EscapeHtml(c.name) +
               "</td><td>" + EscapeHtml(StatusText(c.status)) + "</td><td><pre>" + EscapeHtml(c.evidence) +
               "</pre>";
        for (const auto& p : c.pictures)
            out += "<img src=\"" + EscapeHtml(p) + "\" alt=\"" + EscapeHtml(p) + "\">";
        out += "</td></tr>\n";
    }
    out += "</table>\n</body></html>\n";
    return out;
}

bool AnyFailed(const std::vector<Check>& checks) {
    for (const auto& c : checks) {
        if (c.status == Status::Fail) return true;
    }
    return false;
}

}  // namespace kelto::acceptance
