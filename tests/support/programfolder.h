#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A program folder laid out by the project's own install step in a fresh
// temporary folder, as an administrator would have it. Tests that run the
// installed programs as processes start here.
class ProgramFolder {
public:
    ProgramFolder();

    bool isValid() const { return m_valid; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // Folder for systemd units, inside the temporary folder.
    QString unitFolder() const { return m_dir.filePath(QStringLiteral("units")); }

    // Replaces the service settings file with these keys of "Service Settings".
    void writeServiceSettings(const QMap<QString, QString> &values) const;
    QByteArray readFile(const QString &name) const;

    // A process for one of the installed programs, with the unit folder
    // redirected so that nothing touches the real system.
    QProcess *newProcess(const QString &program, const QStringList &arguments) const;

    // Runs the program to its end (at most `timeoutMs`); false when it hangs.
    struct Result {
        bool finished = false;
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    Result run(const QString &program, const QStringList &arguments, int timeoutMs = 30000) const;

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
};

// A TCP port that nothing listens on right now.
quint16 freeTcpPort();
