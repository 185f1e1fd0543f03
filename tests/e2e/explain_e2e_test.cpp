// The technician's tool against the real helper: for the same kelto: URL, the action key and
// session ID that `kelto-token explain` reports are the ones the helper logs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "harness.h"

namespace kelto::e2e {
namespace {

// Runs the tool with this argument text and returns what it printed on standard output.
std::string RunTokenTool(const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) throw DriverError("CreatePipe failed");
    UniqueHandle reader(readEnd);
    UniqueHandle writer(writeEnd);
    ::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer.get();
    startup.hStdError = writer.get();
    startup.hStdInput = nullptr;
    std::wstring commandLine = L"\"" + Programs().tokenTool + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                          nullptr, &startup, &process)) {
        throw DriverError("cannot start the token tool");
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    writer.reset();  // the tool holds the only write end now: EOF when it ends

    std::string output;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(reader.get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        output.append(buffer, read);
    ::WaitForSingleObject(processHandle.get(), 30000);
    return output;
}

// A string field of the tool's JSON answer (the values used here hold no escapes).
std::string JsonField(const std::string& json, const std::string& name) {
    const std::string opening = "\"" + name + "\": \"";
    const auto start = json.find(opening);
    if (start == std::string::npos) throw DriverError("no field " + name + " in: " + json);
    const auto from = start + opening.size();
    return json.substr(from, json.find('"', from) - from);
}

struct ExplainCase {
    const char* name;
    std::string url;
    bool invalidAction;  // the helper ends in the invalid-action box instead of the token prompt
    std::string key;     // what both must read, written out
    std::string session;
};

void PrintTo(const ExplainCase& c, std::ostream* os) { *os << c.name; }

class ExplainTest : public HelperTest, public ::testing::WithParamInterface<ExplainCase> {};

TEST_P(ExplainTest, ToolAndHelperReadTheSameKeyAndSession) {
    const ExplainCase& c = GetParam();
    const std::string json = RunTokenTool(L"explain --json \"" + Widen(c.url) + L"\"");
    const std::string key = JsonField(json, "actionKey");
    const std::string session = JsonField(json, "sessionId");
    EXPECT_EQ(key, c.key);
    EXPECT_EQ(session, c.session);

    // The browser hands the URL over in the quotes of the registered open command.
    const std::string commandLine = "\"" + c.url + "\"";
    auto helper = StartHelper(Widen(commandLine));
    const auto dialog = WaitForDialog(helper);
    if (c.invalidAction) {
        Answer(dialog, IDOK);
    } else {
        EXPECT_EQ(dialog.title, kTokenPromptTitle);
        PressKey(EntryField(dialog).hwnd, VK_ESCAPE);
    }
    WaitForExit(helper);
    EXPECT_THAT(LogMessages(), ::testing::ElementsAre(VersionLine(commandLine), "Parsed tool: [" + key + "]",
                                                      "Support session: [" + session + "]"));
}

INSTANTIATE_TEST_SUITE_P(
    Urls, ExplainTest,
    ::testing::Values(ExplainCase{"SessionCutAtADot", "kelto://IPCONFIG/sid/AbC-9_x.extra/host/x", false,
                                  "ipconfig", "AbC-9_x"},
                      ExplainCase{"QueryForm", "kelto:?tool=flushdns&sid=t-1", false, "flushdns", "t-1"},
                      ExplainCase{"EscapedQuery", "kelto:%3ftool%3dping%26sid%3dq7", false, "ping", "q7"},
                      ExplainCase{"KeyOutsideTheCatalogue", "kelto://notakey/sid/zz", false, "notakey", "zz"},
                      ExplainCase{"OverLongSession", "kelto://arp/sid/" + std::string(90, 'a'), false, "arp",
                                  std::string(80, 'a')},
                      ExplainCase{"NoKey", "kelto:?sid=abc", true, "", "abc"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelto::e2e
