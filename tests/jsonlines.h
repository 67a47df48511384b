#ifndef JSONLINES_H
#define JSONLINES_H

#include <QtTest>

// Every JSON line in out must fit the shape docs/ documents.
inline void checkJsonLines(const QByteArray &out)
{
    QByteArray lines;
    for (const QByteArray &line : out.split('\n'))
        lines += line.startsWith('{') ? line + '\n' : QByteArray();
    if (lines.isEmpty())
        return;
    QProcess check;
    check.start(RADIOCONF_PYTHON, {RADIOCONF_JSON_CHECK, RADIOCONF_JSON_SCHEMA});
    check.write(lines);
    check.closeWriteChannel();
    QVERIFY(check.waitForFinished(60000));
    QVERIFY2(check.exitCode() == 0, check.readAll() + check.readAllStandardError());
}

#endif // JSONLINES_H
