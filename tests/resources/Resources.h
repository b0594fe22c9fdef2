#pragma once
// Where the resource tests find the generated files.

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

// The absolute path of `relative` below the generated resources directory.
inline QString ResourcePath(const QString& relative)
{
    return QStringLiteral(TOLVAR_TEST_RESOURCES) + "/" + relative;
}

// The names of the skin directories below `relative`, sorted.
inline QStringList SkinNames(const QString& relative)
{
    return QDir(ResourcePath(relative)).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

// The whole file, or nothing when it cannot be read.
inline QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
