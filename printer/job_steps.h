#pragma once

#include <functional>
#include <string_view>

class JobHost;

// What every job does besides talking to its port: refuse a job when no port is chosen, and
// tell the technician how a job failed, in the window's own wording.

// The port selector's placeholder entry: no port chosen yet.
inline constexpr std::string_view portPlaceholder = "选择端口";
// The titles of the information and failure boxes.
inline constexpr std::string_view noticeTitle = "提示！";
inline constexpr std::string_view failureTitle = "错误!";

// Refuses a job when no port has been chosen: shows the information box and
// returns false. Returns true when the job may go on.
bool PortCheck(JobHost& host);

// Shows the failure box with the given description.
void ErrorReport(JobHost& host, std::string_view description);

// Runs a job's steps inside the trap every job arms first: the first step that fails (a port
// that cannot be opened or written, a selector that cannot be read) ends the job with the
// failure box, its own port closed on the way out. The steps make the port check themselves,
// where their order puts it, and tell whether the job went on to its end. Tells whether it did.
bool RunJob(JobHost& host, const std::function<bool()>& steps);

// The job of most buttons: the port check, an event pump, then `stream` written raw in one write
// and the port closed.
bool WriteStreamJob(JobHost& host, std::string_view stream);
