#include "schema.h"

namespace qb {

namespace {

QStringList columnsOf(const QStringList& createLines) {
    // Lines between "create table x(" and "primary key(...)" are "name type,".
    QStringList names;
    for (qsizetype i = 1; i + 2 < createLines.size(); ++i)
        names << createLines[i].section(QLatin1Char(' '), 0, 0);
    return names;
}

TableSchema makeSchema(const char* table, const char* dataset, const QStringList& lines) {
    return TableSchema{QString::fromUtf8(table), QString::fromUtf8(dataset), lines,
                       columnsOf(lines)};
}

QStringList utf8Lines(std::initializer_list<const char*> lines) {
    QStringList out;
    for (const char* line : lines)
        out << QString::fromUtf8(line);
    return out;
}

} // namespace

QString TableSchema::createStatement() const {
    QString text;
    for (const QString& line : createLines)
        text += line + QStringLiteral("\r\n");
    return text;
}

const TableSchema& tableSchema(BookId book) {
    static const TableSchema schemas[kBookCount] = {
        makeSchema("lianxi1", "ADOTable1",
                   utf8Lines({"create table lianxi1(",  "姓名 char(50),",
                              "邮箱 char(50),",         "QQ char(50),",
                              "主页 varchar(255),",     "生日 date,",
                              "性别 char(2),",          "手机 char(50),",
                              "身份证 char(50),",       "特长 varchar(255),",
                              "国家 char(50),",         "省 char(50),",
                              "市 char(50),",           "家庭地址 varchar(255),",
                              "电话 char(50),",         "传真 char(50),",
                              "邮编 char(50),",         "单位 varchar(255),",
                              "部门 char(50),",         "职务 char(50),",
                              "公司电话 char(50),",     "公司邮箱 char(50),",
                              "公司主页 varchar(255),", "公司城市 char(50),",
                              "公司地址 char(50),",     "备注 varchar(255),",
                              "primary key(姓名)",      ")"})),
        makeSchema(
            "wzsk1", "ADOTable2",
            utf8Lines({"create table wzsk1(", "网址名称 char(100),", "网址 varchar(255),",
                       "注册名 char(50),", "备注 varchar(255),", "primary key(网址名称)", ")"})),
        makeSchema("xuliehao1", "ADOTable3",
                   utf8Lines({"create table xuliehao1(", "名称版本号 char(100),",
                              "版本类型 char(50),", "序列号本身 char(100),", "认证码 char(100),",
                              "备注 varchar(255),", "primary key(名称版本号)", ")"})),
    };
    return schemas[static_cast<int>(book)];
}

const std::vector<BookId>& allBooks() {
    static const std::vector<BookId> books{BookId::Contacts, BookId::Websites, BookId::Serials};
    return books;
}

} // namespace qb
