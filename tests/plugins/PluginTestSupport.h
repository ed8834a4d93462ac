// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELA_PLUGINTESTSUPPORT_H
#define VELA_PLUGINTESTSUPPORT_H

#include <QFileInfo>
#include <QList>
#include <QObject>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// The path of a plug-in built by the tree, in the form that QPluginLoader
// reports it, so that load and unload records share their key.
#define VELA_PLUGIN(name) QFileInfo(QStringLiteral(VELA_PLUGIN_##name)).canonicalFilePath()

namespace PluginTest {

/*
    Collects the library's log lines while it lives (and keeps them from the
    test's output). Each line is kept as the source file it names and its
    message.
*/
class LogCapture
{
public:
    struct Line
    {
        QString sourceFile;
        QString message;
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QList<Line> Lines() const;
    //! The messages of the lines that name the source file.
    QStringList Messages(const QString &sourceFile) const;
    void Clear();

private:
    static void Handle(QtMsgType type, const QMessageLogContext &context, const QString &record);

    QList<Line> m_lines;
    QtMessageHandler m_previous;
};

} // namespace PluginTest

#endif // VELA_PLUGINTESTSUPPORT_H
