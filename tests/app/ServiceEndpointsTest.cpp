#include "platform/ServiceEndpoints.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

struct RelayCase {
    const char *value;
    const char *host;
    quint16 port;
};

TEST(ServiceEndpoints, MailRelayFromTheEnvironment)
{
    const RelayCase cases[] = {
        {"", ServiceEndpoints::kDefaultMailRelayHost, 587},
        {"localhost", "localhost", 587},
        {"localhost:2525", "localhost", 2525},
        {"[::1]:2525", "::1", 2525},
        {"::1", "::1", 587},
        {"relay.test:0", "relay.test:0", 587},
        {"relay.test:70000", "relay.test:70000", 587},
    };
    for (const RelayCase &c : cases) {
        SCOPED_TRACE(c.value);
        qputenv(ServiceEndpoints::kMailRelayVariable, c.value);
        EXPECT_EQ(ServiceEndpoints::mailRelayHost(), QString::fromLatin1(c.host));
        EXPECT_EQ(ServiceEndpoints::mailRelayPort(), c.port);
    }
    qunsetenv(ServiceEndpoints::kMailRelayVariable);
}

TEST(ServiceEndpoints, TelemetryUrlFromTheEnvironmentOrTheDefault)
{
    qunsetenv(ServiceEndpoints::kTelemetryUrlVariable);
    EXPECT_EQ(ServiceEndpoints::telemetryUrl(), QUrl(ServiceEndpoints::kDefaultTelemetryUrl));
    qputenv(ServiceEndpoints::kTelemetryUrlVariable, "http://127.0.0.1:8080/");
    EXPECT_EQ(ServiceEndpoints::telemetryUrl(), QUrl("http://127.0.0.1:8080/"));
    EXPECT_TRUE(ServiceEndpoints::telemetryUrlProblem().isEmpty());
    // Anything but an absolute http(s) address is refused, never replaced by the real service.
    for (const char *refused : {"no scheme", "127.0.0.1:8080", "ftp://127.0.0.1/", "http:///x",
                                "file:///tmp/intake", "http://[::1"}) {
        qputenv(ServiceEndpoints::kTelemetryUrlVariable, refused);
        EXPECT_TRUE(ServiceEndpoints::telemetryUrl().isEmpty()) << refused;
        EXPECT_TRUE(ServiceEndpoints::telemetryUrlProblem().contains(QLatin1String(refused)))
            << refused;
    }
    qunsetenv(ServiceEndpoints::kTelemetryUrlVariable);
}

} // namespace
