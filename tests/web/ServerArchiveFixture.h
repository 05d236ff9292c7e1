#pragma once

#include "WebArchiveFixture.h"

#include "archive/PostgresCluster.h"

// A PostgreSQL archive on a cluster of the test's own, set up by the command line, with a login role "office"
// of the read-only role for the server.
class ServerArchiveTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        if (!m_cluster.SkipReason().isEmpty())
            GTEST_SKIP() << m_cluster.SkipReason().toStdString();
        ASSERT_TRUE(m_cluster.Failure().isEmpty()) << m_cluster.Failure().toStdString();
        ASSERT_TRUE(m_dir.isValid());
        const CliRun setup = Cli({"--database", m_cluster.Url(), "archive", "setup"});
        ASSERT_EQ(setup.exitCode, 0) << setup.err.toStdString();
        ASSERT_EQ(m_cluster.Sql("CREATE ROLE office LOGIN IN ROLE tonvale_reader"), QString());
    }
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    CliRun Cli(const QStringList &arguments) { return RunProgram(CliCopyIn(m_dir.path()), arguments); }

    PostgresCluster m_cluster;
    QTemporaryDir m_dir;
};
