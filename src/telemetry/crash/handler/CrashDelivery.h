#pragma once

// Restricted dialect (see CrashState.h): the crash-time transport. Sends a finished report over
// the socket prepared at activation as one plain HTTP POST, bounded in time, never raising
// SIGPIPE. The socket is used once.

namespace murmelo::crash {

// Posts the bytes of reportFd (from its start) to the sessions intake. True only when the
// intake answered "200 OK".
bool deliverReport(int reportFd);

// The file names the handler and the code preparing it share.
inline constexpr char kTokenDigestFileName[] = "app_token_sha1.mpack";
inline constexpr char kReportFileName[] = "backtrace.mpack";
inline constexpr char kSessionsPath[] = "/intake/1.0/sessions.mpack";

} // namespace murmelo::crash
