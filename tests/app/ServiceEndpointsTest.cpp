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
    qputenv(ServiceEndpoints::kTelemetryUrlVariable, "no scheme");
    EXPECT_EQ(ServiceEndpoints::telemetryUrl(), QUrl(ServiceEndpoints::kDefaultTelemetryUrl));
    qunsetenv(ServiceEndpoints::kTelemetryUrlVariable);
}

} // namespace
