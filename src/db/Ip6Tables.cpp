#include "db/Ip6Tables.h"

void CreateIp6Tables(CppSQLite3DB& db)
{
    db.ExecDml("create table if not exists HOSTS6(ID integer, IP text, RECV float, SENT float, "
               "UPDATED char(24));");
    db.ExecDml("create index if not exists HOSTS6_ID_IP on HOSTS6(ID, IP);");
    db.ExecDml("create table if not exists IP6_FILTER(ID integer, TYPE integer, IP1 text, "
               "IP2 text, ACTION integer);");
    db.ExecDml("create index if not exists IP6_FILTER_ID on IP6_FILTER(ID);");
    db.ExecDml("create table if not exists HOSTNAMES6(HOST text, NAME text);");
    db.ExecDml("create table if not exists FILTER_ADDRESS6(FILTER_ID integer primary key, "
               "IP text);");
}
