#pragma once
// The service's crash report: when the process meets a fault that nothing
// handles, the error log gets "QXSERVICE CRASH", the driver link is closed
// (so that the driver stops feeding a dead process), a text report goes to
// "<temporary folder>QXService.dmp" and the process dies of the signal.

class KCrashDumpWriter {
public:
    // Installs the service's handler for this process. The log lines are
    // appended to the error log file at its path at the moment of the crash.
    explicit KCrashDumpWriter(const char* applicationName);
    bool IsInstalled() const { return m_installed; }

    // The service's handler steps, with no lock and no allocation.
    static void ServiceCrashFilter(int signal);
    static void ReportResult(const char* line);

private:
    bool m_installed = false;
};
