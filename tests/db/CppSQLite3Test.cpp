#include "db/CppSQLite3DB.h"
#include "db/CppSQLite3Exception.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <functional>

namespace
{
// The code a call throws with, 0 when it does not throw.
int CodeOf(const std::function<void()>& call)
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
}
} // namespace

TEST(CppSQLite3, FailuresThrowWithTheirCodeAndLeaveStatementsUsable)
{
    TempDir dir;
    CppSQLite3DB db;
    EXPECT_EQ(CodeOf([&] { db.ExecDml("select 1;"); }), 1000); // not open
    EXPECT_EQ(CodeOf([] { CppSQLite3Statement().BindInt(1, 1); }), 1000);
    db.Open(dir.File("t.db"));
    db.ExecDml("create table T(A integer, B text, C float); create table U(A integer not null);");
    EXPECT_EQ(CodeOf([&] { db.CompileStatement("select * from Missing;"); }), SQLITE_ERROR);
    EXPECT_NE(CodeOf([&] { db.ExecScalar("select A from T;"); }), 0); // no row
    CppSQLite3Statement insert = db.CompileStatement("insert into U values (?);");
    insert.BindNull(1);
    EXPECT_EQ(CodeOf([&] { insert.ExecDml(); }), SQLITE_CONSTRAINT);
    insert.BindInt(1, 3); // the statement was reset and can run again
    EXPECT_EQ(insert.ExecDml(), 1);

    // Bound values come back as they went; NULL gives the default asked for.
    CppSQLite3Statement row =
        db.CompileStatement("insert into T values (?, ?, ?), (NULL, NULL, NULL);");
    row.BindInt(1, 7);
    row.BindText(2, "it's; drop table T;--");
    row.BindDouble(3, 1e12 + 0.5);
    EXPECT_EQ(row.ExecDml(), 2);
    CppSQLite3Query query = db.ExecQuery("select * from T order by rowid;");
    EXPECT_EQ(query.GetIntField("A", -1), 7);
    EXPECT_EQ(query.GetStringField("B"), "it's; drop table T;--");
    EXPECT_DOUBLE_EQ(query.GetFloatField("C"), 1e12 + 0.5);
    EXPECT_THROW(query.FieldValue(3), CppSQLite3Exception);
    query.NextRow();
    EXPECT_EQ(query.GetIntField("A", -1), -1);
    EXPECT_EQ(query.GetStringField("B", "none"), "none");
    EXPECT_TRUE(query.FieldIsNull("C"));
    query.NextRow();
    EXPECT_TRUE(query.Eof());
}
