#include "db/CppSQLite3DB.h"
#include "db/CppSQLite3Exception.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <functional>

namespace
{
class CppSQLite3Fixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_db.Open(m_dir.File("t.db"));
        m_db.ExecDml("create table T(A integer, B text, C float);");
    }
    TempDir m_dir;
    CppSQLite3DB m_db;
};
} // namespace

TEST_F(CppSQLite3Fixture, FailuresThrowWithTheirCodeAndLeaveStatementsUsable)
{
    auto codeOf = [](const std::function<void()>& call)
    {
        try
        {
            call();
        }
        catch (const CppSQLite3Exception& error)
        {
            return error.ErrorCode();
        }
        return 0;
    };
    EXPECT_EQ(codeOf([] { CppSQLite3DB().ExecDml("select 1;"); }), 1000); // not open
    EXPECT_EQ(codeOf([] { CppSQLite3Statement().BindInt(1, 1); }), 1000);
    EXPECT_EQ(codeOf([&] { m_db.CompileStatement("select * from Missing;"); }), SQLITE_ERROR);
    EXPECT_NE(codeOf([&] { m_db.ExecScalar("select A from T;"); }), 0); // no row
    m_db.ExecDml("create table U(A integer not null);");
    CppSQLite3Statement insert = m_db.CompileStatement("insert into U values (?);");
    insert.BindNull(1);
    EXPECT_EQ(codeOf([&] { insert.ExecDml(); }), SQLITE_CONSTRAINT);
    insert.BindInt(1, 3); // the statement was reset and can run again
    EXPECT_EQ(insert.ExecDml(), 1);
}

TEST_F(CppSQLite3Fixture, BoundValuesRoundTripAndNullTakesDefault)
{
    EXPECT_TRUE(m_db.TableExists("t") && !m_db.TableExists("U"));
    CppSQLite3Statement insert = m_db.CompileStatement("insert into T values (?, ?, ?);");
    insert.BindInt(1, 7);
    insert.BindText(2, "it's; drop table T;--");
    insert.BindDouble(3, 1e12 + 0.5);
    insert.ExecDml();
    for (int column = 1; column <= 3; ++column)
        insert.BindNull(column);
    EXPECT_EQ(insert.ExecDml(), 1);
    CppSQLite3Query query = m_db.ExecQuery("select * from T order by rowid;");
    EXPECT_EQ(query.NumFields(), 3);
    EXPECT_EQ(query.GetIntField("A", -1), 7);
    EXPECT_EQ(query.GetStringField("B"), "it's; drop table T;--");
    EXPECT_DOUBLE_EQ(query.GetFloatField("C"), 1e12 + 0.5);
    query.NextRow();
    EXPECT_EQ(query.GetIntField("A", -1), -1);
    EXPECT_EQ(query.GetStringField("B", "none"), "none");
    EXPECT_TRUE(query.FieldIsNull("C"));
    EXPECT_THROW(query.FieldIndex("a"), CppSQLite3Exception); // names are case-sensitive
    EXPECT_THROW(query.FieldValue(3), CppSQLite3Exception);
    query.NextRow();
    EXPECT_TRUE(query.Eof());
}
