#include "ui/connectivity.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace kelto {
namespace {

using testing::FakeSystem;

TEST(ConnectivityProbe, AsksWindowsOwnTestFileOnceWithoutCache) {
    FakeSystem f;
    ui::IsInternetAvailable(f.http);
    ASSERT_EQ(f.http.requests.size(), 1u);
    const auto& request = f.http.requests[0];
    EXPECT_EQ(request.url, "http://www.msftconnecttest.com/connecttest.txt");
    EXPECT_EQ(request.timeouts.resolveMs, 2000);
    EXPECT_EQ(request.timeouts.connectMs, 2000);
    EXPECT_EQ(request.timeouts.sendMs, 2000);
    EXPECT_EQ(request.timeouts.receiveMs, 2500);
    EXPECT_EQ(request.headers,
              (std::vector<std::pair<std::string, std::string>>{{"Cache-Control", "no-cache"}}));
}

struct ProbeCase {
    std::optional<int> status;
    bool online;
};

class ConnectivityVerdict : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ConnectivityVerdict, OnlyAStatusFrom200To399CountsAsOnline) {
    FakeSystem f;
    f.http.status = GetParam().status;
    EXPECT_EQ(ui::IsInternetAvailable(f.http), GetParam().online);
    // The probe writes nothing to the log.
    EXPECT_TRUE(f.LogMessages().empty());
}

INSTANTIATE_TEST_SUITE_P(Statuses, ConnectivityVerdict,
                         ::testing::Values(ProbeCase{199, false}, ProbeCase{200, true}, ProbeCase{204, true},
                                           ProbeCase{302, true}, ProbeCase{399, true}, ProbeCase{400, false},
                                           ProbeCase{404, false}, ProbeCase{500, false},
                                           ProbeCase{std::nullopt, false}),
                         [](const auto& info) {
                             return info.param.status ? std::to_string(*info.param.status)
                                                      : std::string("NoAnswer");
                         });

}  // namespace
}  // namespace kelto
