#include "bookgenerator.h"

#include "store/connection.h"
#include "store/dataerror.h"
#include "store/recordstore.h"
#include "store/schema.h"
#include "store/sqlitestatement.h"

#include <QFile>

#include <optional>
#include <random>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qb {

namespace {

struct Syllable {
    const char* hanzi;
    const char* pinyin;
};

struct City {
    const char* province;
    const char* name;
    const char* pinyin;
    const char* areaCode;
    const char* postcode; // first three digits
    const char* idArea;   // first six digits of an ID number issued there
};

struct Site {
    const char* name;
    const char* url;
};

constexpr Syllable kSurnames[] = {
    {"王", "wang"},  {"李", "li"},       {"张", "zhang"},  {"刘", "liu"},     {"陈", "chen"},
    {"杨", "yang"},  {"黄", "huang"},    {"赵", "zhao"},   {"吴", "wu"},      {"周", "zhou"},
    {"徐", "xu"},    {"孙", "sun"},      {"马", "ma"},     {"朱", "zhu"},     {"胡", "hu"},
    {"郭", "guo"},   {"何", "he"},       {"高", "gao"},    {"林", "lin"},     {"罗", "luo"},
    {"郑", "zheng"}, {"梁", "liang"},    {"谢", "xie"},    {"宋", "song"},    {"唐", "tang"},
    {"许", "xu"},    {"韩", "han"},      {"冯", "feng"},   {"邓", "deng"},    {"曹", "cao"},
    {"彭", "peng"},  {"曾", "zeng"},     {"肖", "xiao"},   {"田", "tian"},    {"董", "dong"},
    {"袁", "yuan"},  {"潘", "pan"},      {"于", "yu"},     {"蒋", "jiang"},   {"蔡", "cai"},
    {"余", "yu"},    {"杜", "du"},       {"叶", "ye"},     {"程", "cheng"},   {"苏", "su"},
    {"魏", "wei"},   {"吕", "lv"},       {"丁", "ding"},   {"任", "ren"},     {"沈", "shen"},
    {"姚", "yao"},   {"卢", "lu"},       {"姜", "jiang"},  {"崔", "cui"},     {"钟", "zhong"},
    {"谭", "tan"},   {"陆", "lu"},       {"汪", "wang"},   {"范", "fan"},     {"金", "jin"},
    {"石", "shi"},   {"廖", "liao"},     {"贾", "jia"},    {"夏", "xia"},     {"韦", "wei"},
    {"付", "fu"},    {"方", "fang"},     {"白", "bai"},    {"邹", "zou"},     {"孟", "meng"},
    {"熊", "xiong"}, {"秦", "qin"},      {"邱", "qiu"},    {"江", "jiang"},   {"尹", "yin"},
    {"薛", "xue"},   {"闫", "yan"},      {"段", "duan"},   {"雷", "lei"},     {"侯", "hou"},
    {"龙", "long"},  {"史", "shi"},      {"陶", "tao"},    {"黎", "li"},      {"贺", "he"},
    {"顾", "gu"},    {"毛", "mao"},      {"郝", "hao"},    {"龚", "gong"},    {"邵", "shao"},
    {"万", "wan"},   {"钱", "qian"},     {"严", "yan"},    {"武", "wu"},      {"戴", "dai"},
    {"孔", "kong"},  {"欧阳", "ouyang"}, {"司马", "sima"}, {"诸葛", "zhuge"}, {"上官", "shangguan"},
};

constexpr Syllable kGivenNames[] = {
    {"伟", "wei"},  {"芳", "fang"},  {"娜", "na"},    {"敏", "min"},  {"静", "jing"},
    {"丽", "li"},   {"强", "qiang"}, {"磊", "lei"},   {"军", "jun"},  {"洋", "yang"},
    {"勇", "yong"}, {"艳", "yan"},   {"杰", "jie"},   {"娟", "juan"}, {"涛", "tao"},
    {"明", "ming"}, {"超", "chao"},  {"秀", "xiu"},   {"霞", "xia"},  {"平", "ping"},
    {"刚", "gang"}, {"桂", "gui"},   {"英", "ying"},  {"华", "hua"},  {"建", "jian"},
    {"文", "wen"},  {"玉", "yu"},    {"兰", "lan"},   {"红", "hong"}, {"梅", "mei"},
    {"鹏", "peng"}, {"辉", "hui"},   {"斌", "bin"},   {"宇", "yu"},   {"浩", "hao"},
    {"凯", "kai"},  {"健", "jian"},  {"俊", "jun"},   {"帆", "fan"},  {"帅", "shuai"},
    {"旭", "xu"},   {"宁", "ning"},  {"龙", "long"},  {"林", "lin"},  {"欣", "xin"},
    {"佳", "jia"},  {"雪", "xue"},   {"婷", "ting"},  {"琳", "lin"},  {"晶", "jing"},
    {"颖", "ying"}, {"倩", "qian"},  {"慧", "hui"},   {"莉", "li"},   {"萍", "ping"},
    {"燕", "yan"},  {"阳", "yang"},  {"志", "zhi"},   {"海", "hai"},  {"国", "guo"},
    {"东", "dong"}, {"亮", "liang"}, {"春", "chun"},  {"峰", "feng"}, {"波", "bo"},
    {"飞", "fei"},  {"鑫", "xin"},   {"博", "bo"},    {"晨", "chen"}, {"思", "si"},
    {"雨", "yu"},   {"子", "zi"},    {"涵", "han"},   {"轩", "xuan"}, {"梓", "zi"},
    {"睿", "rui"},  {"瑞", "rui"},   {"嘉", "jia"},   {"一", "yi"},   {"诗", "shi"},
    {"晓", "xiao"}, {"天", "tian"},  {"成", "cheng"}, {"毅", "yi"},   {"森", "sen"},
    {"永", "yong"}, {"德", "de"},    {"少", "shao"},  {"云", "yun"},  {"青", "qing"},
    {"立", "li"},   {"振", "zhen"},  {"家", "jia"},   {"晴", "qing"}, {"露", "lu"},
    {"瑶", "yao"},  {"怡", "yi"},    {"悦", "yue"},   {"琪", "qi"},   {"璐", "lu"},
    {"婉", "wan"},  {"蕾", "lei"},   {"泽", "ze"},    {"航", "hang"}, {"昊", "hao"},
    {"然", "ran"},  {"宏", "hong"},  {"彬", "bin"},   {"坤", "kun"},  {"冬", "dong"},
    {"丹", "dan"},  {"玲", "ling"},  {"凤", "feng"},  {"秋", "qiu"},  {"霖", "lin"},
};

constexpr City kCities[] = {
    {"北京", "北京", "beijing", "010", "100", "110105"},
    {"上海", "上海", "shanghai", "021", "200", "310104"},
    {"天津", "天津", "tianjin", "022", "300", "120101"},
    {"重庆", "重庆", "chongqing", "023", "400", "500103"},
    {"广东", "广州", "guangzhou", "020", "510", "440106"},
    {"广东", "深圳", "shenzhen", "0755", "518", "440305"},
    {"广东", "东莞", "dongguan", "0769", "523", "441900"},
    {"江苏", "南京", "nanjing", "025", "210", "320102"},
    {"江苏", "苏州", "suzhou", "0512", "215", "320505"},
    {"浙江", "杭州", "hangzhou", "0571", "310", "330106"},
    {"浙江", "宁波", "ningbo", "0574", "315", "330203"},
    {"四川", "成都", "chengdu", "028", "610", "510104"},
    {"湖北", "武汉", "wuhan", "027", "430", "420102"},
    {"湖南", "长沙", "changsha", "0731", "410", "430102"},
    {"山东", "济南", "jinan", "0531", "250", "370102"},
    {"山东", "青岛", "qingdao", "0532", "266", "370202"},
    {"河南", "郑州", "zhengzhou", "0371", "450", "410102"},
    {"河北", "石家庄", "shijiazhuang", "0311", "050", "130102"},
    {"陕西", "西安", "xian", "029", "710", "610102"},
    {"辽宁", "沈阳", "shenyang", "024", "110", "210102"},
    {"辽宁", "大连", "dalian", "0411", "116", "210202"},
    {"福建", "福州", "fuzhou", "0591", "350", "350102"},
    {"福建", "厦门", "xiamen", "0592", "361", "350203"},
    {"安徽", "合肥", "hefei", "0551", "230", "340102"},
    {"江西", "南昌", "nanchang", "0791", "330", "360102"},
    {"云南", "昆明", "kunming", "0871", "650", "530102"},
    {"广西", "南宁", "nanning", "0771", "530", "450102"},
    {"黑龙江", "哈尔滨", "haerbin", "0451", "150", "230102"},
    {"吉林", "长春", "changchun", "0431", "130", "220102"},
    {"山西", "太原", "taiyuan", "0351", "030", "140105"},
};

constexpr const char* kDistricts[] = {"城关区", "新城区", "高新区", "开发区", "东城区",
                                      "西城区", "南湖区", "北辰区", "江北区", "滨江区"};
constexpr const char* kRoads[] = {"人民路", "解放路", "中山路", "建设路",   "和平路",
                                  "胜利路", "文化路", "长江路", "黄河路",   "学府路",
                                  "光明街", "朝阳路", "新华路", "幸福大街", "府前街"};
constexpr const char* kEstates[] = {"阳光小区", "花园新村", "金色家园", "翠苑",
                                    "幸福里",   "锦绣华庭", "职工宿舍", "碧水湾"};
constexpr const char* kTowers[] = {"国贸大厦", "科技大厦", "金融中心",
                                   "世纪大厦", "创业园",   "软件园"};
constexpr const char* kMailDomains[] = {"qq.com",   "163.com",     "126.com",
                                        "sina.com", "sohu.com",    "gmail.com",
                                        "139.com",  "hotmail.com", "yahoo.com.cn"};
constexpr const char* kMobilePrefixes[] = {"130", "131", "132", "133", "135", "136", "137", "138",
                                           "139", "150", "151", "152", "155", "158", "159", "176",
                                           "177", "180", "186", "187", "188", "189", "198", "199"};
constexpr const char* kHobbies[] = {"篮球", "足球", "羽毛球", "乒乓球", "游泳", "跑步",
                                    "登山", "钓鱼", "摄影",   "书法",   "绘画", "围棋",
                                    "唱歌", "跳舞", "吉他",   "钢琴",   "读书", "写作",
                                    "旅游", "烹饪", "编程",   "集邮",   "养花"};
constexpr const char* kSkills[] = {"会开车", "英语六级", "普通话二级甲等", "有教师资格证",
                                   "擅长 Excel 和 PowerPoint"};
constexpr Syllable kCompanyWords[] = {
    {"华信", "huaxin"},   {"创新", "chuangxin"},  {"中天", "zhongtian"},  {"宏达", "hongda"},
    {"金桥", "jinqiao"},  {"东方", "dongfang"},   {"新世纪", "xinshiji"}, {"天成", "tiancheng"},
    {"恒通", "hengtong"}, {"博远", "boyuan"},     {"明德", "mingde"},     {"远景", "yuanjing"},
    {"星辰", "xingchen"}, {"长城", "changcheng"}, {"瑞丰", "ruifeng"},    {"联创", "lianchuang"},
};
constexpr const char* kCompanyKinds[] = {"科技有限公司",     "贸易有限公司", "软件有限公司",
                                         "电子有限公司",     "物流有限公司", "建筑工程有限公司",
                                         "文化传媒有限公司", "咨询有限公司", "食品有限公司"};
constexpr const char* kDepartments[] = {"技术部", "销售部",   "市场部", "财务部", "人事部",
                                        "行政部", "研发中心", "客服部", "采购部", "办公室"};
constexpr const char* kTitles[] = {"经理",       "副经理", "总监",   "主管",     "工程师",
                                   "高级工程师", "会计",   "出纳",   "销售代表", "项目经理",
                                   "总经理",     "助理",   "设计师", "程序员"};
constexpr const char* kContactNotes[] = {"大学同学",
                                         "高中同学",
                                         "以前的同事",
                                         "客户",
                                         "老乡",
                                         "表哥",
                                         "朋友介绍认识的",
                                         "2008年在上海出差认识",
                                         "电话已换，以新号码为准",
                                         "生日记得发祝福短信",
                                         "喜欢喝茶，不抽烟",
                                         "孩子在实验小学上学",
                                         "有事找他帮忙很靠谱",
                                         "微信同手机号"};

constexpr Site kSites[] = {
    {"百度", "http://www.baidu.com/"},
    {"新浪", "http://www.sina.com.cn/"},
    {"网易", "http://www.163.com/"},
    {"搜狐", "http://www.sohu.com/"},
    {"腾讯", "http://www.qq.com/"},
    {"淘宝网", "http://www.taobao.com/"},
    {"京东商城", "http://www.jd.com/"},
    {"天涯社区", "http://www.tianya.cn/"},
    {"豆瓣", "http://www.douban.com/"},
    {"优酷", "http://www.youku.com/"},
    {"中关村在线", "http://www.zol.com.cn/"},
    {"CSDN", "http://www.csdn.net/"},
    {"博客园", "http://www.cnblogs.com/"},
    {"新华网", "http://www.xinhuanet.com/"},
    {"人民网", "http://www.people.com.cn/"},
    {"当当网", "http://www.dangdang.com/"},
    {"携程旅行", "http://www.ctrip.com/"},
    {"中国银行", "http://www.boc.cn/"},
    {"招商银行", "http://www.cmbchina.com/"},
    {"百度贴吧", "http://tieba.baidu.com/"},
    {"QQ邮箱", "https://mail.qq.com/"},
    {"163邮箱", "http://mail.163.com/"},
    {"hao123", "http://www.hao123.com/"},
    {"中国天气网", "http://www.weather.com.cn/"},
    {"铁路客户服务中心", "https://www.12306.cn/"},
    {"知乎", "https://www.zhihu.com/"},
    {"哔哩哔哩", "https://www.bilibili.com/"},
    {"GitHub", "https://github.com/"},
};
constexpr Syllable kSiteTopics[] = {
    {"论坛", "bbs"},      {"人才网", "rencai"}, {"房产网", "fang"}, {"二手网", "ershou"},
    {"美食网", "meishi"}, {"旅游网", "lvyou"},  {"新闻网", "news"}, {"教育网", "edu"},
    {"车友会", "car"},    {"招聘网", "job"},    {"生活网", "life"}, {"摄影论坛", "photo"},
};
constexpr const char* kWebsiteNotes[] = {"密码提示：生日", "用QQ邮箱注册的", "常用，每天都看",
                                         "找工作用",       "很久没登录了",   "已绑定手机",
                                         "会员到期要续费"};

constexpr const char* kProducts[] = {
    "WinRAR",        "Adobe Photoshop", "Microsoft Office", "ACDSee",       "Nero Burning ROM",
    "金山毒霸",      "瑞星杀毒软件",    "金山词霸",         "暴风影音",     "Windows XP",
    "Visual Studio", "Foxmail",         "FlashGet",         "迅雷",         "AutoCAD",
    "CorelDRAW",     "Dreamweaver",     "PowerDVD",         "东方快车",     "WPS Office",
    "UltraEdit",     "EditPlus",        "Partition Magic",  "Norton Ghost", "3ds Max",
    "Delphi",        "超级解霸",        "紫光拼音输入法"};
constexpr const char* kEditions[] = {"简体中文版", "英文版", "繁体中文版", "绿色版",
                                     "专业版",     "企业版", "家庭版",     "标准版"};
constexpr const char* kSerialNotes[] = {"随电脑附带的光盘", "网上买的正版", "单位授权，勿外传",
                                        "可以激活两台电脑", "2006年购买",   "升级版序列号"};

using Value = std::optional<std::string>;
using Row = std::vector<Value>;

class Random {
public:
    explicit Random(quint32 seed)
        : m_engine(seed) {}

    int between(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(m_engine);
    }
    bool percent(int chance) { return between(1, 100) <= chance; }
    template <typename T, size_t N> const T& pick(const T (&items)[N]) {
        return items[between(0, int(N) - 1)];
    }
    std::string digits(int count) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += char('0' + between(0, 9));
        return text;
    }
    std::string charsFrom(std::string_view alphabet, int count) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += alphabet[size_t(between(0, int(alphabet.size()) - 1))];
        return text;
    }

private:
    std::mt19937 m_engine;
};

// Key values repeat in a big book ("王伟" many times over); the second and later ones get a
// number, the way people tell them apart by hand.
class UniqueKeys {
public:
    UniqueKeys(std::string open, std::string close)
        : m_open(std::move(open))
        , m_close(std::move(close)) {}

    std::string take(const std::string& base) {
        const int seen = m_seen[base]++;
        return seen == 0 ? base : base + m_open + std::to_string(seen + 1) + m_close;
    }

private:
    std::string m_open;
    std::string m_close;
    std::unordered_map<std::string, int> m_seen;
};

struct Date {
    int year;
    int month;
    int day;
};

int daysInMonth(int year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// Months, days and room numbers: 0 to 99.
std::string twoDigits(int value) {
    return {char('0' + value / 10), char('0' + value % 10)};
}

Date randomBirthday(Random& random) {
    const int year = random.between(1950, 2008);
    const int month = random.between(1, 12);
    return {year, month, random.between(1, daysInMonth(year, month))};
}

std::string isoDate(const Date& date) {
    return std::to_string(date.year) + '-' + twoDigits(date.month) + '-' + twoDigits(date.day);
}

// An 18-digit resident ID: area, birth date, sequence (odd for men) and the ISO 7064 check
// character, so it passes the checks other programs make.
std::string idNumber(Random& random, const City& city, const Date& birthday, bool male) {
    std::string id = city.idArea + std::to_string(birthday.year) + twoDigits(birthday.month) +
                     twoDigits(birthday.day) + random.digits(2) +
                     char('0' + 2 * random.between(0, 4) + (male ? 1 : 0));
    constexpr int kWeights[] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
    int sum = 0;
    for (size_t i = 0; i < id.size(); ++i)
        sum += (id[i] - '0') * kWeights[i];
    return id + "10X98765432"[sum % 11];
}

std::string mobile(Random& random) {
    return random.pick(kMobilePrefixes) + random.digits(8);
}

std::string phone(Random& random, const City& city) {
    return city.areaCode + std::string("-") + char('2' + random.between(0, 6)) + random.digits(7);
}

std::string qqNumber(Random& random) {
    return char('1' + random.between(0, 8)) + random.digits(random.between(4, 9));
}

std::string mailAddress(Random& random, const std::string& pinyin) {
    const std::string user = random.percent(60) ? pinyin + random.digits(random.between(0, 4))
                                                : pinyin.substr(0, 1) + random.digits(6);
    return user + '@' + random.pick(kMailDomains);
}

std::string homePage(Random& random, const std::string& pinyin) {
    switch (random.between(0, 3)) {
    case 0:
        return "http://www." + pinyin + ".com/";
    case 1:
        return "http://blog.sina.com.cn/" + pinyin;
    case 2:
        return "http://" + pinyin + ".blog.163.com/";
    default:
        return "https://weibo.com/" + pinyin;
    }
}

std::string streetAddress(Random& random) {
    return std::string(random.pick(kDistricts)) + random.pick(kRoads) +
           std::to_string(random.between(1, 999)) + "号";
}

std::string homeAddress(Random& random, const City& city) {
    return city.name + std::string("市") + streetAddress(random) + random.pick(kEstates) +
           std::to_string(random.between(1, 30)) + "栋" + std::to_string(random.between(1, 6)) +
           "单元" + std::to_string(random.between(1, 28)) + twoDigits(random.between(1, 4)) + "室";
}

// Lines joined the way a multi-line entry stores them.
template <size_t N> std::string noteLines(Random& random, const char* const (&lines)[N]) {
    std::string text = random.pick(lines);
    for (int more = random.between(0, 9) < 6 ? 0 : random.between(1, 2); more > 0; --more)
        text += std::string("\r\n") + random.pick(lines);
    return text;
}

std::string speciality(Random& random) {
    std::string text = random.pick(kHobbies);
    for (int more = random.between(0, 2); more > 0; --more)
        text += std::string("、") + random.pick(kHobbies);
    if (random.percent(15))
        text += std::string("\r\n") + random.pick(kSkills);
    return text;
}

Value maybe(bool present, std::string text) {
    return present ? Value(std::move(text)) : std::nullopt;
}

// Columns 单位 .. 公司地址 of a contact, all empty when the contact has no known employer.
void addWork(Random& random, const City& home, const std::string& pinyin, Row& row) {
    if (!random.percent(60)) {
        row.insert(row.end(), 8, std::nullopt);
        return;
    }
    const City& city = random.percent(70) ? home : random.pick(kCities);
    const Syllable& word = random.pick(kCompanyWords);
    const std::string domain = word.pinyin + std::string(".com.cn");
    row.push_back(city.name + std::string(word.hanzi) + random.pick(kCompanyKinds));
    row.push_back(maybe(random.percent(80), random.pick(kDepartments)));
    row.push_back(maybe(random.percent(70), random.pick(kTitles)));
    row.push_back(maybe(random.percent(60), phone(random, city)));
    row.push_back(maybe(random.percent(40), pinyin + '@' + domain));
    row.push_back(maybe(random.percent(30), "http://www." + domain + '/'));
    row.push_back(maybe(random.percent(70), city.name));
    row.push_back(maybe(random.percent(60), streetAddress(random) + random.pick(kTowers) +
                                                std::to_string(random.between(1, 30)) + "层"));
}

Row makeContact(Random& random, UniqueKeys& names) {
    const Syllable& surname = random.pick(kSurnames);
    std::string name = surname.hanzi;
    std::string pinyin = surname.pinyin;
    for (int i = random.percent(25) ? 1 : 2; i > 0; --i) {
        const Syllable& given = random.pick(kGivenNames);
        name += given.hanzi;
        pinyin += given.pinyin;
    }
    const bool male = random.percent(50);
    const Date birthday = randomBirthday(random);
    const City& city = random.pick(kCities);
    const std::string qq = qqNumber(random);
    Row row;
    row.reserve(25);
    row.push_back(names.take(name));
    row.push_back(maybe(random.percent(70),
                        random.percent(30) ? qq + "@qq.com" : mailAddress(random, pinyin)));
    row.push_back(maybe(random.percent(75), qq));
    row.push_back(maybe(random.percent(25), homePage(random, pinyin)));
    row.push_back(maybe(random.percent(80), isoDate(birthday)));
    row.push_back(maybe(random.percent(97), male ? "男" : "女"));
    row.push_back(maybe(random.percent(90), mobile(random)));
    row.push_back(maybe(random.percent(60), idNumber(random, city, birthday, male)));
    row.push_back(maybe(random.percent(45), speciality(random)));
    row.push_back(maybe(random.percent(90), "中国"));
    row.push_back(maybe(random.percent(85), city.province));
    row.push_back(maybe(random.percent(85), city.name));
    row.push_back(maybe(random.percent(70), homeAddress(random, city)));
    row.push_back(maybe(random.percent(50), phone(random, city)));
    row.push_back(maybe(random.percent(10), phone(random, city)));
    row.push_back(maybe(random.percent(50), city.postcode + random.digits(3)));
    addWork(random, city, pinyin, row);
    row.push_back(maybe(random.percent(30), noteLines(random, kContactNotes)));
    return row;
}

Row makeWebsite(Random& random, UniqueKeys& names, int index) {
    std::string name;
    std::string url;
    if (index < int(std::size(kSites))) {
        name = kSites[index].name;
        url = kSites[index].url;
    } else {
        const City& city = random.pick(kCities);
        const Syllable& topic = random.pick(kSiteTopics);
        name = city.name + std::string(topic.hanzi);
        url = "http://www." + std::string(city.pinyin) + topic.pinyin + ".com/";
    }
    const Syllable& user = random.pick(kGivenNames);
    return {names.take(name), maybe(random.percent(95), url),
            maybe(random.percent(70), random.pick(kSurnames).pinyin + std::string(user.pinyin) +
                                          random.digits(random.between(0, 4))),
            maybe(random.percent(40), noteLines(random, kWebsiteNotes))};
}

std::string productKey(Random& random) {
    constexpr std::string_view kKeyChars = "BCDFGHJKMPQRTVWXY2346789";
    std::string key = random.charsFrom(kKeyChars, 5);
    for (int group = random.between(3, 4); group > 0; --group)
        key += '-' + random.charsFrom(kKeyChars, 5);
    return key;
}

Row makeSerial(Random& random, UniqueKeys& names) {
    std::string version =
        std::to_string(random.between(1, 15)) + '.' + std::to_string(random.between(0, 9));
    if (random.percent(30))
        version += '.' + std::to_string(random.between(0, 99));
    return {names.take(random.pick(kProducts) + std::string(" ") + version),
            maybe(random.percent(80), random.pick(kEditions)), productKey(random),
            maybe(random.percent(50), random.charsFrom("0123456789ABCDEF", random.between(20, 32))),
            maybe(random.percent(30), noteLines(random, kSerialNotes))};
}

QString quotedName(const QString& identifier) {
    return QLatin1Char('"') + identifier + QLatin1Char('"');
}

// One prepared insert statement for a book's table; values are bound without copies.
class TableWriter {
public:
    TableWriter(sqlite3* db, BookId book)
        : m_db(db)
        , m_columnCount(int(tableSchema(book).columnNames.size())) {
        const TableSchema& schema = tableSchema(book);
        QStringList names;
        QStringList params;
        for (const QString& column : schema.columnNames) {
            names << quotedName(column);
            params << QStringLiteral("?%1").arg(params.size() + 1);
        }
        const QByteArray sql =
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(quotedName(schema.tableName), names.join(u','), params.join(u','))
                .toUtf8();
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &m_insert, nullptr) !=
            SQLITE_OK)
            fail();
    }
    ~TableWriter() { sqlite3_finalize(m_insert); }
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;

    void write(const Row& row) {
        if (int(row.size()) != m_columnCount)
            throw DataError(QStringLiteral("生成的记录有 %1 列，表有 %2 列")
                                .arg(row.size())
                                .arg(m_columnCount));
        for (int c = 0; c < m_columnCount; ++c) {
            const Value& value = row[size_t(c)];
            if (value)
                sqlite3_bind_text(m_insert, c + 1, value->data(), int(value->size()),
                                  SQLITE_STATIC);
            else
                sqlite3_bind_null(m_insert, c + 1);
        }
        const int rc = sqlite3_step(m_insert);
        sqlite3_reset(m_insert);
        if (rc != SQLITE_DONE)
            fail();
    }

private:
    [[noreturn]] void fail() const {
        throw DataError(QStringLiteral("生成数据失败：%1").arg(engineError(m_db)));
    }

    sqlite3* m_db;
    int m_columnCount;
    sqlite3_stmt* m_insert = nullptr;
};

void fillBooks(const QString& file, int contacts, int websites, int serials, quint32 seed) {
    // The bulk load steps its statement directly, past the store's per-step deadline.
    const ScopedStatementDeadline noDeadline(0);
    Connection connection;
    connection.setFileName(file);
    connection.acquire();
    sqlite3* db = connection.handle();
    // Random keys land all over the key index; a big page cache keeps the whole index in
    // memory, so the bulk load stays a matter of seconds.
    execSql(db, QStringLiteral("PRAGMA cache_size=-262144"));
    execSql(db, QStringLiteral("BEGIN"));
    try {
        Random random(seed);
        {
            UniqueKeys names({}, {});
            TableWriter writer(db, BookId::Contacts);
            for (int i = 0; i < contacts; ++i)
                writer.write(makeContact(random, names));
        }
        UniqueKeys siteNames("(", ")");
        TableWriter siteWriter(db, BookId::Websites);
        for (int i = 0; i < websites; ++i)
            siteWriter.write(makeWebsite(random, siteNames, i));
        UniqueKeys serialNames(" (", ")");
        TableWriter serialWriter(db, BookId::Serials);
        for (int i = 0; i < serials; ++i)
            serialWriter.write(makeSerial(random, serialNames));
        execSql(db, QStringLiteral("COMMIT"));
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    connection.release();
}

} // namespace

void generateBook(const QString& file, int contacts, int websites, int serials, quint32 seed) {
    if (contacts < 0 || websites < 0 || serials < 0)
        throw DataError(QStringLiteral("记录数不能为负数"));
    RecordStore store;
    switch (store.createDatabase(file)) {
    case RecordStore::CreateResult::Created:
        break;
    case RecordStore::CreateResult::AlreadyExists:
        throw DataError(QStringLiteral("文件“%1”已经存在").arg(file));
    case RecordStore::CreateResult::FileCreationFailed:
        throw DataError(QStringLiteral("无法创建数据库文件“%1”").arg(file));
    }
    try {
        fillBooks(file, contacts, websites, serials, seed);
    } catch (...) {
        QFile::remove(file);
        throw;
    }
}

} // namespace qb
