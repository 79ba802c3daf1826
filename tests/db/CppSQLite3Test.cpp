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

// Values bound and read back (text, NULL defaults) are checked by every round trip of the store.
TEST(CppSQLite3, FailuresThrowWithTheirCodeAndLeaveStatementsUsable)
{
    TempDir dir;
    CppSQLite3DB db;
    EXPECT_EQ(CodeOf([&] { db.ExecDml("select 1;"); }), 1000); // not open
    EXPECT_EQ(CodeOf([] { CppSQLite3Statement().BindInt(1, 1); }), 1000);
    db.Open(dir.File("t.db"));
    db.ExecDml("create table T(C float); create table U(A integer not null);");
    EXPECT_EQ(CodeOf([&] { db.CompileStatement("select * from Missing;"); }), SQLITE_ERROR);
    EXPECT_NE(CodeOf([&] { db.ExecScalar("select C from T;"); }), 0); // no row
    CppSQLite3Statement insert = db.CompileStatement("insert into U values (?);");
    insert.BindNull(1);
    EXPECT_EQ(CodeOf([&] { insert.ExecDml(); }), SQLITE_CONSTRAINT);
    insert.BindInt(1, 3); // the statement was reset and can run again
    EXPECT_EQ(insert.ExecDml(), 1);
    CppSQLite3Statement row = db.CompileStatement("insert into T values (?);");
    row.BindDouble(1, 1e12 + 0.5);
    EXPECT_EQ(row.ExecDml(), 1);
    CppSQLite3Query query = db.ExecQuery("select * from T;");
    EXPECT_DOUBLE_EQ(query.GetFloatField("C"), 1e12 + 0.5);
    EXPECT_THROW(query.FieldValue(1), CppSQLite3Exception);
}
