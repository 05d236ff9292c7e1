#pragma once

#include <QString>

#include <functional>

// Where the program lives and keeps its files, and the three report texts the operator last used.
//
// Everything is derived from the running executable: an executable /opt/tools/Press keeps Press.ini,
// Log/ and Dmp/ in /opt/tools. When that directory is not writable (an installed program), the INI
// file, Log and Dmp live in the per-user data directory ~/.local/share/tonvale instead, the same for
// every program of the installation; help.dat is still looked for beside the executable first.
class CIniSysInfo {
  public:
    // Decides whether the program may keep its files in a directory.
    using WritableCheck = std::function<bool(const QString &dir)>;

    static constexpr int kMaxTextLength = 127; // report texts are cut to this many UTF-16 units

    CIniSysInfo() = default;
    virtual ~CIniSysInfo() = default;

    // Where Load looks. By default: the running executable, the per-user application data directory
    // and a check for write access. Tests and tools set them before Load.
    void SetExecutablePath(const QString &path) { m_exeOverride = path; }
    void SetUserDataDir(const QString &dir) { m_userDataDir = dir; }
    void SetWritableCheck(WritableCheck check) { m_writable = std::move(check); }

    // Fills the paths without touching the disk (the crash handler needs dumpDir before Load).
    void ResolvePaths();

    // Fills the paths, creates Dmp and Log, and reads the report texts. Problems are silent: a
    // missing or unreadable INI file leaves the texts empty.
    void Load();

    // Writes the three report texts (cut to kMaxTextLength) to iniPath, keeping whatever else the
    // file holds, in the encoding it was read in (UTF-16 when code page 949 cannot hold a text). Returns
    // false, with the reason in Korean in *error, when the file could not be written whole; the old
    // file is then left as it was. A file that is there but cannot be read is never replaced.
    bool Save(QString *error = nullptr);

    // Creates every missing directory of a path; only components followed by '/' are created, so
    // pass directory paths that end in '/'. An existing directory is fine. False on an empty path or
    // when a directory cannot be created.
    static bool CreateDirectoryPath(const QString &path);

    // help.dat beside the executable when it is there, else the per-user directory's, else the one an
    // installed program ships in <prefix>/share/tonvale; the per-user path when there is none.
    QString HelpFilePath() const;

    QString exePath;    // the running executable
    QString exeDir;     // its directory, without a trailing '/'
    QString dataDir;    // where the INI file, Log and Dmp live: exeDir or the per-user directory
    QString iniPath;    // dataDir/<executable name>.ini
    QString logDir;     // dataDir/Log/
    QString dumpDir;    // dataDir/Dmp/
    QString company;    // [REPORT] COMPANY
    QString reportName; // [REPORT] REPORT_NAME
    QString userName;   // [REPORT] USER_NAME

  private:
    QString m_exeOverride;
    QString m_userDataDir;
    WritableCheck m_writable;
};
