#pragma once

#include "helper/PatternFile.h"
#include "library/Library.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace murmelo::test {

// Each test gets its own store file under the scratch root.
class StoreFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = scratchRoot() +
                 QStringLiteral("/stores/%1.%2")
                     .arg(QLatin1String(info->test_suite_name()), QLatin1String(info->name()));
        QDir().mkpath(folder);
        storePath = folder + QStringLiteral("/dbv3.sql");
    }

    std::unique_ptr<StoreContext> openContext()
    {
        auto context = std::make_unique<StoreContext>();
        EXPECT_TRUE(context->open(storePath)) << qPrintable(context->openError().description);
        return context;
    }

    // A temporary file as a job leaves it.
    static QString temporaryFile(qint64 length = 4096)
    {
        const QString path = Library::temporaryAudioPath();
        EXPECT_TRUE(writePatternFile(path, length));
        return path;
    }

    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString folder;
    QString storePath;
};

} // namespace murmelo::test
