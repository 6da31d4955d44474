#pragma once

#include "telemetry/codec/VGValue.h"

#include <QString>
#include <optional>

namespace murmelo {

class Defaults;

// A per-user identifier shared by every application of this user that takes part, so that they
// report the same device. Each application keeps its copy in its own defaults ("SharedUDID") and
// one in a numbered shared slot, a small file in a folder all of them read (the stand-in for the
// phone's named pasteboards). The identifier is random: no machine identifier goes into it.
class VG_SharedUDID {
public:
    struct Result {
        QString value;
        int code = 0; // 0 retrieved, 1 opted out, 2 discrepancy between the copies
        QString message;
        static constexpr char kDomain[] = "org.SharedUDID";
    };

    // The standard defaults and the user's shared folder.
    static QString value();
    static Result valueWithError();
    static void setOptOut(bool optOut);
    // Replaces this application's identifier: its shared slots go, and DEFAULTS get a fresh
    // identifier and application id, which later looks keep.
    static void forget(Defaults &defaults, const QString &sharedFolder);
    static void forget(Defaults &defaults);
    // Forgets the process's cached value. For tests.
    static void resetCacheForTesting();

    // One application's view, on the given defaults and shared folder.
    VG_SharedUDID(Defaults &defaults, QString sharedFolder);
    Result valueWithError(bool useCache);
    void setOptOut(bool optOut, bool useCache);

    // The shared folder of the user: $XDG_DATA_HOME/SharedUDID.
    static QString defaultSharedFolder();
    static constexpr int kSlotCount = 100;

    static QString _generateFreshSharedUDID();
    std::optional<VGValue> _getDictFromPasteboard(const QString &name) const;
    bool _setDictForPasteboard(const VGValue &dict, const QString &name) const;

private:
    Defaults &defaults_;
    QString folder_;
};

} // namespace murmelo
