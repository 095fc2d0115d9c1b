#pragma once

#include <QString>
#include <memory>

namespace platform {

// Settings file: "[section]" headers followed by "key=value" lines, stored in
// the ANSI code page. Sections and keys match without regard to case, as the
// Windows profile functions did. The file is read again whenever it changed
// on disk, so a value another program wrote is seen at the next read.
class IniFile {
public:
    IniFile();
    ~IniFile();
    IniFile(const IniFile &) = delete;
    IniFile &operator=(const IniFile &) = delete;

    QString IniPath() const;
    void setIniPath(const QString &path);

    // Greater than 0 when the file exists and can be read.
    int IniExists() const;

    // Creates the file, section and key as needed; keeps everything else.
    // Raises platform::Error when the file cannot be written.
    void WriteValue(const QString &section, const QString &key, const QString &value);

    // The stored text, or `defaultValue` when file, section or key is missing.
    QString ReadValue(const QString &section, const QString &key, const QString &defaultValue) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace platform
