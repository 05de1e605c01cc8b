#pragma once

#include <QString>
#include <QByteArray>
#include <exception>

// The one base of every error the program raises. It carries only its message text, which is
// shown to the user as it stands (the standard error box adds the closing full stop).
// Each named error of a component derives from it and adds nothing but its name:
//
//     class EBadZipFile : public Exception { using Exception::Exception; };
//
// Never thrown across a destructor, a C library callback or a Qt signal: handlers run under
// guarded() (message_box.h), which is the one place that catches.
class Exception : public std::exception
{
public:
    explicit Exception(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Input and output errors of the program's own file handling (settings file, user list, archives
// when the operating system refuses a file operation).
class EInOutError : public Exception { using Exception::Exception; };

// A diary (or the user list beside it) that another program is working on and did not let go of
// within the lock's wait (files::FolderLock). Its text is for the tool's output; the window shows
// its own (msgbox::inUseText).
class EFileInUse : public EInOutError { using EInOutError::EInOutError; };

// A text that has to be stored as GBK and holds characters GBK cannot represent.
class EEncodingError : public Exception { using Exception::Exception; };

// A decimal conversion that failed: "'%s' is not a valid integer value".
class EConvertError : public Exception { using Exception::Exception; };

// Parses a whole text as a decimal 32-bit integer the way the program's conversions do:
// optional sign, decimal digits (or "$" and hex digits), no surrounding spaces. Throws
// EConvertError "'<text>' is not a valid integer value" otherwise.
int StrToInt(const QString &text);
// The same without the error: false (value untouched) for a text StrToInt refuses.
bool TryStrToInt(const QString &text, int &value);
