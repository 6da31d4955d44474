#include "IntakeServer.h"
#include "support/TestSupport.h"
#include "telemetry/VGSdkQueue.h"
#include "telemetry/network/VGNetworkManager.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace murmelo;
using namespace murmelo::test;
using namespace std::chrono_literals;

namespace {

class UploadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        manager().watchReachability(QString());
        manager().setRetryPause(300ms);
        VGURLConnectionOperation::setTimeout(400ms);
    }
    void TearDown() override
    {
        // Every test leaves the shared manager idle and running.
        EXPECT_TRUE(waitUntil([] { return manager().operationCount() == 0; }, 15s));
        EXPECT_TRUE(waitUntil([] { return manager().pauseCounter() == 0; }, 5s));
        VGURLConnectionOperation::setTimeout(60s);
    }
    static VGNetworkManager &manager() { return VGNetworkManager::sharedManager(); }

    QString queueFile(const QString &name, int size = 3000)
    {
        const QString path = folder.filePath(name + QStringLiteral(".msgpack"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = char(i * 7 + name.size());
        file.write(bytes);
        return path;
    }
    static QString sha1Of(const QString &path)
    {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return QString::fromLatin1(
            QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex());
    }
    static bool idle()
    {
        return waitUntil([] { return manager().operationCount() == 0; }, 15s);
    }

    QTemporaryDir folder;
};

TEST_F(UploadTest, AcceptedFileIsStreamedWithItsLengthAndDeleted)
{
    IntakeServer intake(QStringLiteral("201"));
    ASSERT_TRUE(intake.isRunning());
    const QString path = queueFile(QStringLiteral("accepted"), 200000);
    const QString digest = sha1Of(path);
    manager().sendFile(path, intake.url());
    ASSERT_TRUE(intake.waitForRequests(1));
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(path); }));
    const QJsonObject request = intake.requests().front();
    EXPECT_EQ(request.value("path").toString(), "/intake/1.0/sessions.mpack");
    EXPECT_EQ(request.value("length").toString(), "200000");
    EXPECT_EQ(request.value("received").toInt(), 200000);
    EXPECT_EQ(request.value("sha1").toString(), digest);
    EXPECT_TRUE(request.value("type").isNull()); // no content type is claimed
}

TEST_F(UploadTest, NotFoundKeepsTheFileAndDoesNotRetry)
{
    IntakeServer intake(QStringLiteral("404"));
    const QString path = queueFile(QStringLiteral("missing"));
    manager().sendFile(path, intake.url());
    ASSERT_TRUE(intake.waitForRequests(1));
    ASSERT_TRUE(idle());
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(intake.requests().size(), 1u);
    EXPECT_EQ(manager().pauseCounter(), 0);
}

TEST_F(UploadTest, ServerErrorPausesThenRetriesAtLowPriority)
{
    IntakeServer intake(QStringLiteral("503,500,200"));
    const QString path = queueFile(QStringLiteral("busy"));
    QElapsedTimer clock;
    clock.start();
    manager().sendFile(path, intake.url());
    ASSERT_TRUE(intake.waitForRequests(1));
    EXPECT_TRUE(waitUntil([] { return manager().isPaused(); }));
    ASSERT_TRUE(intake.waitForRequests(3));
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(path); }));
    // Two pauses of 300 ms lie between the first and the third request.
    EXPECT_GE(clock.elapsed(), 600);
    EXPECT_EQ(intake.requests().size(), 3u);
}

TEST_F(UploadTest, TimeoutAndLostConnectionAreRetried)
{
    IntakeServer intake(QStringLiteral("hang,close,200"));
    const QString path = queueFile(QStringLiteral("slow"));
    manager().sendFile(path, intake.url());
    ASSERT_TRUE(intake.waitForRequests(3, 15000));
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(path); }));
}

TEST_F(UploadTest, RefusedConnectionKeepsTheFileForALaterLaunch)
{
    const QString path = queueFile(QStringLiteral("refused"));
    manager().sendFile(path, QUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(refusingPort())));
    ASSERT_TRUE(idle());
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(manager().pauseCounter(), 0);
}

TEST_F(UploadTest, NoTightLoopWhileTheServiceKeepsFailing)
{
    IntakeServer intake(QStringLiteral("503,503,503,503,503,503,503,503,201"));
    const QString path = queueFile(QStringLiteral("failing"));
    QElapsedTimer clock;
    clock.start();
    manager().sendFile(path, intake.url());
    ASSERT_TRUE(intake.waitForRequests(4));
    // Three pauses of 300 ms at least between four requests.
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_LE(intake.requests().size(), 5u);
    ASSERT_TRUE(intake.waitForRequests(9, 20000));
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(path); }));
}

TEST_F(UploadTest, PausesAreCountedAndReachabilityPausesOnce)
{
    IntakeServer intake(QStringLiteral("200"));
    manager()._setPaused(true);
    manager()._setPaused(true);
    manager()._handleReachabilityStatus(0);
    manager()._handleReachabilityStatus(0); // lost twice: one pause
    EXPECT_EQ(manager().pauseCounter(), 3);
    const QString low = queueFile(QStringLiteral("low"));
    const QString normal = queueFile(QStringLiteral("normal"));
    const QString high = queueFile(QStringLiteral("high"));
    manager().sendFile(low, intake.url("/low"), VGURLConnectionOperation::Low);
    manager().sendFile(normal, intake.url("/normal"));
    manager().sendFile(high, intake.url("/high"), VGURLConnectionOperation::High);

    manager()._handleReachabilityStatus(1);
    manager()._handleReachabilityStatus(1); // regained twice: one resume
    manager()._setPaused(false);
    EXPECT_TRUE(manager().isPaused());
    // Nothing may go out while paused; give it the time a request would take here.
    EXPECT_FALSE(intake.waitForRequests(1, 300));
    EXPECT_EQ(manager().operationCount(), 3);

    manager()._setPaused(false);
    EXPECT_FALSE(manager().isPaused());
    ASSERT_TRUE(intake.waitForRequests(3));
    // Waiting uploads go highest priority first.
    EXPECT_EQ(intake.requests()[0].value("path").toString(), "/high");
    EXPECT_EQ(intake.requests()[1].value("path").toString(), "/normal");
    EXPECT_EQ(intake.requests()[2].value("path").toString(), "/low");
    // A resume without a pause does not bank a resume for later.
    manager()._setPaused(false);
    EXPECT_EQ(manager().pauseCounter(), 0);
}

TEST(UploadRules, RetryOnlyTransientFailures)
{
    using Manager = VGNetworkManager;
    auto urlError = [](int code) {
        VGURLError error;
        error.code = code;
        return std::optional<VGURLError>(error);
    };
    for (int code : {-1001, -1005, -1009, -1019})
        EXPECT_TRUE(Manager::_shouldPauseAndRetryFailedFileSend({}, urlError(code))) << code;
    for (int code : {-1, -1003, -1004, -999, -1200})
        EXPECT_FALSE(Manager::_shouldPauseAndRetryFailedFileSend({true, 503}, urlError(code)))
            << code;
    VGURLError other;
    other.domain = QStringLiteral("other");
    other.code = -1001;
    EXPECT_TRUE(Manager::_shouldPauseAndRetryFailedFileSend({true, 599}, other));
    EXPECT_FALSE(Manager::_shouldPauseAndRetryFailedFileSend({true, 600}, other));
    EXPECT_FALSE(Manager::_shouldPauseAndRetryFailedFileSend({true, 404}, std::nullopt));
    EXPECT_TRUE(Manager::_isResponseASuccess({true, 201}));
    EXPECT_FALSE(Manager::_isResponseASuccess({true, 300}));
    EXPECT_FALSE(Manager::_isResponseASuccess({false, 200}));
    VGURLRequest local;
    local.url = QUrl(QStringLiteral("file:///etc/passwd"));
    EXPECT_FALSE(VGURLConnectionOperation::initWithRequest(local, {}));
}

} // namespace

namespace {

long peakResidentKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST_F(UploadTest, AnAnswerLongerThanTheCapFailsLikeABrokenConnectionAndIsSentAgain)
{
    IntakeServer intake(QStringLiteral("big,200"));
    ASSERT_TRUE(intake.isRunning());
    const QString path = queueFile(QStringLiteral("answered-at-length"));
    manager().sendFile(path, intake.url());
    ASSERT_TRUE(intake.waitForRequests(2));
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(path); }));
}

TEST_F(UploadTest, ATwoGigabyteAnswerIsCutOffWithoutTakingMemory)
{
    // Announced with its length, then one that only ends with the connection.
    IntakeServer intake(QStringLiteral("huge,hugeclose,200"));
    ASSERT_TRUE(intake.isRunning());
    const QString path = queueFile(QStringLiteral("answered-hugely"));
    manager().sendFile(path, intake.url());
    ASSERT_TRUE(intake.waitForRequests(3, 30000));
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(path); }));
    EXPECT_LT(peakResidentKilobytes(), 150 * 1024);
}

TEST_F(UploadTest, ARequestGivenUpOnLetsItsConnectionGo)
{
    // Timed out, refused by its announced length, cut off while streaming: each time the
    // connection is closed at once, not left to the service (which may never stop sending),
    // and the retries reach the intake on fresh connections.
    IntakeServer intake(QStringLiteral("hang,huge,hugeclose,hang,200"));
    ASSERT_TRUE(intake.isRunning());
    const QString path = queueFile(QStringLiteral("given-up"));
    manager().sendFile(path, intake.url());
    ASSERT_TRUE(intake.waitForRequests(5, 15000));
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(path); }));
    EXPECT_TRUE(intake.waitForClosedConnections(4, 5000))
        << "closed: " << testing::PrintToString(intake.closedConnections());
}

TEST_F(UploadTest, AnEndlessAnswerAfterATimedOutRequestDoesNotHoldBackTheRetry)
{
    // An answer with no length that never ends, right after a request that timed out: the
    // retry still goes out after its pause, not after the stream.
    IntakeServer intake(QStringLiteral("hang,hugeclose,200"));
    ASSERT_TRUE(intake.isRunning());
    const QString path = queueFile(QStringLiteral("endless"));
    QElapsedTimer clock;
    clock.start();
    manager().sendFile(path, intake.url());
    ASSERT_TRUE(intake.waitForRequests(3, 15000));
    // 400 ms timeout and two pauses of 300 ms; the endless answer adds only its first 64 KiB.
    EXPECT_LT(clock.elapsed(), 8000);
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(path); }));
    EXPECT_TRUE(intake.waitForClosedConnections(3, 5000))
        << "closed: " << testing::PrintToString(intake.closedConnections());
    EXPECT_LT(peakResidentKilobytes(), 150 * 1024);
}

TEST_F(UploadTest, HostileAnswersFailAndTheUploadIsSentAgain)
{
    // Not HTTP, a head without end, a negative length, a chunk size past 64 bits: each is a
    // failed request that is retried, then an answer in chunks is read and accepted.
    IntakeServer intake(QStringLiteral("garbage,endlesshead,negative,chunkoverflow,chunked"));
    ASSERT_TRUE(intake.isRunning());
    const QString path = queueFile(QStringLiteral("hostile"));
    manager().sendFile(path, intake.url());
    ASSERT_TRUE(intake.waitForRequests(5, 15000));
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(path); }));
    EXPECT_TRUE(intake.waitForClosedConnections(5, 5000))
        << "closed: " << testing::PrintToString(intake.closedConnections());
    EXPECT_EQ(intake.requests().size(), 5u);
    EXPECT_LT(peakResidentKilobytes(), 150 * 1024);
}

TEST_F(UploadTest, UploadsFollowTheProxyVariablesExceptToThisMachine)
{
    IntakeServer intake(QStringLiteral("200"));
    ASSERT_TRUE(intake.isRunning());
    // A proxy that refuses everything: the intake on loopback is still reached directly.
    qputenv("http_proxy", QByteArray("http://127.0.0.1:") + QByteArray::number(refusingPort()));
    const QString local = queueFile(QStringLiteral("direct"));
    manager().sendFile(local, intake.url());
    ASSERT_TRUE(intake.waitForRequests(1));
    EXPECT_EQ(intake.requests().back().value("path").toString(), "/intake/1.0/sessions.mpack");

    // A service elsewhere is asked for through the proxy (the intake plays the proxy here).
    qputenv("http_proxy", intake.url(QStringLiteral("/")).toEncoded());
    const QString proxied = queueFile(QStringLiteral("proxied"));
    manager().sendFile(proxied,
                       QUrl(QStringLiteral("http://telemetry.invalid/intake/1.0/sessions.mpack")));
    const bool arrived = intake.waitForRequests(2);
    qunsetenv("http_proxy");
    ASSERT_TRUE(arrived);
    EXPECT_EQ(intake.requests().back().value("path").toString(),
              "http://telemetry.invalid/intake/1.0/sessions.mpack");
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(proxied); }));
    EXPECT_TRUE(intake.requests().back().value("proxyauth").isNull());

    // A proxy that wants a user and password is given them, and only it.
    QUrl withUser = intake.url(QStringLiteral("/"));
    withUser.setUserName(QStringLiteral("user"));
    withUser.setPassword(QStringLiteral("secret"));
    qputenv("http_proxy", withUser.toEncoded());
    const QString authorised = queueFile(QStringLiteral("authorised"));
    manager().sendFile(authorised,
                       QUrl(QStringLiteral("http://telemetry.invalid/intake/1.0/sessions.mpack")));
    const bool authorisedArrived = intake.waitForRequests(3);
    qunsetenv("http_proxy");
    ASSERT_TRUE(authorisedArrived);
    EXPECT_EQ(intake.requests().back().value("proxyauth").toString(), "Basic dXNlcjpzZWNyZXQ=");
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(authorised); }));
}

// While it lives, TLS connections trust the test intake's certificate as they trust the system's
// authorities.
class TrustingTheIntake {
public:
    TrustingTheIntake() : previous_(QSslConfiguration::defaultConfiguration())
    {
        QSslConfiguration trusting = previous_;
        trusting.addCaCertificates(IntakeServer::certificatePath());
        QSslConfiguration::setDefaultConfiguration(trusting);
    }
    ~TrustingTheIntake() { QSslConfiguration::setDefaultConfiguration(previous_); }

private:
    QSslConfiguration previous_;
};

TEST_F(UploadTest, AnHttpsIntakeIsSpokenToOnlyWhenItsCertificateIsTrusted)
{
    IntakeServer intake(QStringLiteral("201"), IntakeServer::Tls);
    ASSERT_TRUE(intake.isRunning());
    // Nothing trusts it: no body leaves, and the file waits for a later launch.
    const QString untrusted = queueFile(QStringLiteral("untrusted"));
    manager().sendFile(untrusted, intake.url());
    ASSERT_TRUE(idle());
    EXPECT_TRUE(QFile::exists(untrusted));
    EXPECT_TRUE(intake.requests().empty());
    EXPECT_EQ(manager().pauseCounter(), 0);

    // Trusted as an authority of the system's would be: the upload goes through TLS.
    TrustingTheIntake trust;
    const QString trusted = queueFile(QStringLiteral("trusted"), 100000);
    const QString digest = sha1Of(trusted);
    manager().sendFile(trusted, intake.url());
    const bool arrived = intake.waitForRequests(1);
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(trusted); }));
    ASSERT_TRUE(arrived);
    EXPECT_EQ(intake.requests().front().value("sha1").toString(), digest);
}

TEST_F(UploadTest, AnHttpsServiceBehindTheProxyIsReachedThroughATunnel)
{
    IntakeServer intake(QStringLiteral("201"), IntakeServer::Tls);
    IntakeServer proxy(QStringLiteral("500"));
    ASSERT_TRUE(intake.isRunning() && proxy.isRunning());
    TrustingTheIntake trust;
    qputenv("https_proxy", proxy.url(QStringLiteral("/")).toEncoded());
    // The proxy asks the service for its certificate for the service's own name.
    const QUrl service(QStringLiteral("https://telemetry.invalid:%1/intake/1.0/sessions.mpack")
                           .arg(intake.url().port()));
    const QString path = queueFile(QStringLiteral("tunnelled"));
    manager().sendFile(path, service);
    const bool arrived = intake.waitForRequests(1);
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(path); }));
    qunsetenv("https_proxy");
    ASSERT_TRUE(arrived);
    EXPECT_EQ(intake.requests().front().value("path").toString(), "/intake/1.0/sessions.mpack");
    ASSERT_EQ(proxy.tunnels().size(), 1u);
    EXPECT_EQ(proxy.tunnels().front(),
              "telemetry.invalid:" + QByteArray::number(intake.url().port()));
    EXPECT_TRUE(proxy.requests().empty()) << "the proxy sees no request, only the tunnel";
}

TEST_F(UploadTest, AClaimedFileGoesOnceAndWhatItLeavesBehindSaysWhetherItWent)
{
    IntakeServer intake(QStringLiteral("hang,200"));
    ASSERT_TRUE(intake.isRunning());
    VGURLConnectionOperation::setTimeout(2s); // time to see the claim's second name
    const QString path = queueFile(QStringLiteral("report"));
    ASSERT_TRUE(manager().sendClaimedFile(path, intake.url(), VGURLConnectionOperation::Normal));
    EXPECT_FALSE(QFile::exists(path)) << "claimed at once";
    EXPECT_FALSE(manager().sendClaimedFile(path, intake.url(), VGURLConnectionOperation::Normal))
        << "a second sender finds it taken";
    // The body left whole while the answer hangs: a death now would not send it again.
    ASSERT_TRUE(intake.waitForRequests(1));
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(VGNetworkManager::sentName(path)); }));
    // The answer never came: sent again, accepted, gone under every name.
    ASSERT_TRUE(intake.waitForRequests(2));
    EXPECT_TRUE(waitUntil([&] {
        return !QFile::exists(path) && !QFile::exists(VGNetworkManager::sendingName(path)) &&
               !QFile::exists(VGNetworkManager::sentName(path));
    }));

    // Left behind by a process that died: one whose body never left whole is pending again,
    // one whose body left is gone.
    const QString unsent = queueFile(QStringLiteral("unsent"));
    ASSERT_TRUE(QFile::rename(unsent, VGNetworkManager::sendingName(unsent)));
    EXPECT_EQ(VGNetworkManager::claimedFileLeftBehind(VGNetworkManager::sendingName(unsent)),
              unsent);
    EXPECT_TRUE(QFile::exists(unsent));
    const QString went = queueFile(QStringLiteral("went"));
    ASSERT_TRUE(QFile::rename(went, VGNetworkManager::sentName(went)));
    EXPECT_TRUE(
        VGNetworkManager::claimedFileLeftBehind(VGNetworkManager::sentName(went)).isEmpty());
    EXPECT_FALSE(QFile::exists(VGNetworkManager::sentName(went)));
    EXPECT_EQ(intake.requests().size(), 2u);
}

} // namespace
