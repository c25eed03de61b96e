#include "formlayout.h"

namespace qb {

namespace {

QString u(const char* text) {
    return QString::fromUtf8(text);
}

EntryField line(const char* control, const char* column, const char* label, const char* link = "") {
    return {u(control), u(column), u(label), EntryKind::Line, {}, u(link)};
}

EntryField memo(const char* control, const char* column, const char* label, QSize size) {
    return {u(control), u(column), u(label), EntryKind::Memo, size, {}};
}

EntryRow row(EntryField a) {
    return {{std::move(a)}};
}
EntryRow row(EntryField a, EntryField b) {
    return {{std::move(a), std::move(b)}};
}

CommandButtonLayout button(const char* name, Command command, QRect designed) {
    return {u(name), command, designed};
}

BookLayout contacts() {
    return {
        BookId::Contacts,
        u("TabSheet1"),
        u("邮箱"),
        u("PageControl2"),
        383,
        u("DBGrid1"),
        u("cmlianxi1ziduan"),
        u("cmlianxi1zhao"),
        {QRect(6, 277, 138, 20), QRect(161, 277, 127, 20), QPoint(298, 277), u("LbButton5")},
        {button("LbButton1", Command::Append, {387, 20, 70, 23}),
         button("LbButton2", Command::Insert, {388, 47, 70, 23}),
         button("LbButton3", Command::Edit, {387, 78, 65, 21}),
         button("LbButton4", Command::Delete, {387, 107, 70, 23}),
         button("LbButton34", Command::Refresh, {388, 139, 72, 22}),
         button("LbButton28", Command::Post, {389, 166, 69, 23}),
         button("LbButton29", Command::Cancel, {390, 196, 68, 23}),
         button("LbButton16", Command::First, {390, 242, 28, 21}),
         button("LbButton17", Command::Prior, {422, 242, 27, 21}),
         button("LbButton18", Command::Next, {453, 242, 24, 21}),
         button("LbButton19", Command::Last, {480, 242, 25, 21})},
        {
            {u("个人"),
             {row(line("DBname", "姓名", "姓名"),
                  {u("DBsex"), u("性别"), u("性别"), EntryKind::Sex, {}, {}}),
              row(line("DBqq", "QQ", "QQ"), line("DBbirth", "生日", "生日")),
              row(line("DBzhuye", "主页", "主页", "SpeedButton1")),
              row(line("DBemail", "邮箱", "邮箱", "SpeedButton2")),
              row(line("DBshouji", "手机", "手机")),
              row(line("DBshenfenzheng", "身份证", "身份证")),
              row(memo("DBtechang", "特长", "特长", QSize(244, 93)))}},
            {u("家庭"),
             {row(line("DBcountry", "国家", "城市")), row(line("DBprovince", "省", "省")),
              row(line("DBcity", "市", "市")), row(line("DBfamilyaddr", "家庭地址", "家庭地址")),
              row(line("DBphone", "电话", "电话")), row(line("DBchuanzhen", "传真", "传真")),
              row(line("DByoubian", "邮编", "邮编"))}},
            {u("单位"),
             {row(line("DBdanwei", "单位", "单位"), line("DBbumen", "部门", "部门")),
              row(line("DBzhiwu", "职务", "职务"), line("DBdanweiphone", "公司电话", "公司电话")),
              row(line("DBdanweiemail", "公司邮箱", "公司邮箱", "SpeedButton3")),
              row(line("DBdanweizhuye", "公司主页", "公司主页", "SpeedButton4")),
              row(line("DBdanweicity", "公司城市", "公司城市")),
              row(line("DBdanweiaddr", "公司地址", "公司地址")),
              row(memo("DBLianxiMemo", "备注", "备注", QSize(250, 90)))}},
        },
        true,
    };
}

BookLayout websites() {
    return {
        BookId::Websites,
        u("TabSheet2"),
        u("网址"),
        u("PageControl4"),
        367,
        u("DBGrid2"),
        u("cmwzsk1ziduan"),
        u("cmwzsk1zhao"),
        {QRect(4, 286, 126, 20), QRect(155, 286, 118, 20), QPoint(287, 286), u("LbButton9")},
        {button("LbButton7", Command::Append, {386, 19, 70, 23}),
         button("LbButton6", Command::Insert, {387, 48, 69, 23}),
         button("LbButton14", Command::Edit, {387, 77, 65, 21}),
         button("LbButton8", Command::Delete, {387, 107, 70, 23}),
         button("LbButton35", Command::Refresh, {388, 139, 72, 22}),
         button("LbButton30", Command::Post, {387, 165, 69, 23}),
         button("LbButton31", Command::Cancel, {388, 193, 68, 23}),
         button("LbButton23", Command::First, {392, 260, 28, 21}),
         button("LbButton22", Command::Prior, {425, 260, 27, 21}),
         button("LbButton21", Command::Next, {455, 260, 24, 21}),
         button("LbButton20", Command::Last, {483, 260, 25, 21})},
        {{u("录入"),
          {row(line("DBwangzhiname", "网址名称", "网址名称")),
           row(line("DBwangzhi", "网址", "网址", "SpeedButton5")),
           row(line("DBregistryname", "注册名", "注册名")),
           row(memo("DBwzsk1memo", "备注", "备注", QSize(238, 116)))}}},
        false,
    };
}

BookLayout serials() {
    return {
        BookId::Serials,
        u("TabSheet3"),
        u("序列号"),
        u("PageControl5"),
        367,
        u("DBGrid3"),
        u("cmxuliehao1ziduan"),
        u("cmxuliehao1zhao"),
        {QRect(1, 284, 131, 20), QRect(155, 284, 121, 20), QPoint(288, 284), u("LbButton13")},
        {button("LbButton10", Command::Append, {386, 19, 70, 23}),
         button("LbButton11", Command::Insert, {387, 46, 70, 23}),
         button("LbButton15", Command::Edit, {387, 78, 65, 21}),
         button("LbButton12", Command::Delete, {386, 106, 70, 23}),
         button("LbButton36", Command::Refresh, {388, 139, 72, 22}),
         button("LbButton32", Command::Post, {387, 170, 69, 23}),
         button("LbButton33", Command::Cancel, {387, 197, 68, 22}),
         button("LbButton27", Command::First, {386, 235, 28, 21}),
         button("LbButton26", Command::Prior, {417, 235, 27, 21}),
         button("LbButton25", Command::Next, {447, 235, 24, 21}),
         button("LbButton24", Command::Last, {475, 235, 25, 21})},
        {{u("录入"),
          {row(line("DBnameversion", "名称版本号", "名称版本号")),
           row(line("DBversiontype", "版本类型", "版本类型")),
           row(line("DBkeyself", "序列号本身", "序列号本身")),
           row(line("DBrenzhengma", "认证码", "认证码")),
           row(memo("DBxuliehao1memo", "备注", "备注", QSize(197, 108)))}}},
        false,
    };
}

} // namespace

const BookLayout& bookLayout(BookId id) {
    static const BookLayout layouts[kBookCount] = {contacts(), websites(), serials()};
    return layouts[int(id)];
}

QString commandCaption(Command command) {
    static const char* const captions[kCommandCount] = {
        "添加", "插入", "修改", "删除", "刷新", "提交", "取消", "||<", "|<", ">|", ">||", "定位"};
    return u(captions[size_t(command)]);
}

} // namespace qb
