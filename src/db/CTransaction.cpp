#include "db/CTransaction.h"

#include "db/CppSQLite3Exception.h"

CTransaction::CTransaction(CppSQLite3DB& db) : m_db(db)
{
    m_db.ExecDml("BEGIN;");
}

CTransaction::~CTransaction()
{
    if (m_committed || !m_db.InTransaction())
        return;
    try
    {
        m_db.ExecDml("ROLLBACK;");
    }
    catch (const CppSQLite3Exception&)
    {
        // SQLite rolls back by itself when the connection closes; nothing more can be done here.
    }
}

void CTransaction::Commit()
{
    m_db.ExecDml("COMMIT;");
    m_committed = true;
}
