// The unit tests' entry on Windows. GoogleTest's own printer also hands every failure and
// skip to OutputDebugStringA, which raises an exception for a debugger and catches it again.
// Under Wine whose 32-bit side runs in a user-mode emulator, catching that exception ends the
// process, so a skipped or failed check would take the whole run with it. Here the same
// printer runs, and a failure or skip is printed to stdout only, as GoogleTest prints it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace {

using ::testing::TestEventListener;

class StdoutOnlyPrinter : public TestEventListener {
public:
    explicit StdoutOnlyPrinter(TestEventListener* inner) : inner_(inner) {}

    void OnTestPartResult(const ::testing::TestPartResult& result) override {
        if (result.type() == ::testing::TestPartResult::kSuccess) return;
        const char* file = result.file_name() != nullptr ? result.file_name() : "unknown file";
        if (result.line_number() >= 0) {
            std::printf("%s:%d: ", file, result.line_number());
        } else {
            std::printf("%s: ", file);
        }
        std::printf("%s\n%s\n", result.skipped() ? "Skipped" : "Failure", result.message());
        std::fflush(stdout);
    }

    void OnTestProgramStart(const ::testing::UnitTest& u) override { inner_->OnTestProgramStart(u); }
    void OnTestIterationStart(const ::testing::UnitTest& u, int i) override { inner_->OnTestIterationStart(u, i); }
    void OnEnvironmentsSetUpStart(const ::testing::UnitTest& u) override { inner_->OnEnvironmentsSetUpStart(u); }
    void OnEnvironmentsSetUpEnd(const ::testing::UnitTest& u) override { inner_->OnEnvironmentsSetUpEnd(u); }
    void OnTestSuiteStart(const ::testing::TestSuite& s) override { inner_->OnTestSuiteStart(s); }
    void OnTestCaseStart(const ::testing::TestCase& s) override { inner_->OnTestCaseStart(s); }
    void OnTestStart(const ::testing::TestInfo& t) override { inner_->OnTestStart(t); }
    void OnTestDisabled(const ::testing::TestInfo& t) override { inner_->OnTestDisabled(t); }
    void OnTestEnd(const ::testing::TestInfo& t) override { inner_->OnTestEnd(t); }
    void OnTestSuiteEnd(const ::testing::TestSuite& s) override { inner_->OnTestSuiteEnd(s); }
    void OnTestCaseEnd(const ::testing::TestCase& s) override { inner_->OnTestCaseEnd(s); }
    void OnEnvironmentsTearDownStart(const ::testing::UnitTest& u) override {
        inner_->OnEnvironmentsTearDownStart(u);
    }
    void OnEnvironmentsTearDownEnd(const ::testing::UnitTest& u) override { inner_->OnEnvironmentsTearDownEnd(u); }
    void OnTestIterationEnd(const ::testing::UnitTest& u, int i) override { inner_->OnTestIterationEnd(u, i); }
    void OnTestProgramEnd(const ::testing::UnitTest& u) override { inner_->OnTestProgramEnd(u); }

private:
    std::unique_ptr<TestEventListener> inner_;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleMock(&argc, argv);
    auto& listeners = ::testing::UnitTest::GetInstance()->listeners();
    if (TestEventListener* printer = listeners.Release(listeners.default_result_printer()))
        listeners.Append(new StdoutOnlyPrinter(printer));
    return RUN_ALL_TESTS();
}
