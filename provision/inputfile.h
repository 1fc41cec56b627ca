#pragma once

// The small files a run reads its settings from: password files, recipes,
// station files. Each must be a regular file (or standard input) of at most
// MAX_BYTES; a device, a FIFO, a directory or a larger file is refused
// before anything is read past the limit.

#include <QByteArray>
#include <QCoreApplication>
#include <QJsonObject>
#include <QString>

class InputFile
{
    Q_DECLARE_TR_FUNCTIONS(InputFile)

public:
    static constexpr qint64 MAX_BYTES = 64 * 1024;

    // Reads the file at `path` (standard input when `path` is empty, at most
    // MAX_BYTES of it). False with the reason, naming `what` and the path.
    static bool read(const QString &path, const QString &what, QByteArray *bytes, QString *problem);

    // The JSON object that `json` holds; false with the parser's reason in
    // *parseError when it holds no object.
    static bool jsonObject(const QByteArray &json, QJsonObject *object, QString *parseError);
};
