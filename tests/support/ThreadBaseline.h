#pragma once

// The threads a test process has before a run, to compare with after it: a joined thread can
// stay listed for a moment after the join returns, so the comparison waits briefly.
#include "tests/support/ProcessCounts.h"

#include <QString>
#include <QTest>

class ThreadBaseline {
public:
    bool restored() const
    {
        return QTest::qWaitFor([this] { return process::threadCount() == m_count; }, 2000);
    }

    // What a failed comparison prints.
    QString report() const
    {
        return QStringLiteral("threads before: %1, now: %2")
            .arg(QString::fromStdString(m_names), QString::fromStdString(process::joined(process::threadNames())));
    }

private:
    int m_count = process::threadCount();
    std::string m_names = process::joined(process::threadNames());
};
