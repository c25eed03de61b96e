CREATE TABLE lianxi1(
姓名 char(50),
邮箱 char(50),
QQ char(50),
主页 varchar(255),
生日 date,
性别 char(2),
手机 char(50),
身份证 char(50),
特长 varchar(255),
国家 char(50),
省 char(50),
市 char(50),
家庭地址 varchar(255),
电话 char(50),
传真 char(50),
邮编 char(50),
单位 varchar(255),
部门 char(50),
职务 char(50),
公司电话 char(50),
公司邮箱 char(50),
公司主页 varchar(255),
公司城市 char(50),
公司地址 char(50),
备注 varchar(255),
primary key(姓名)
)
CREATE TABLE wzsk1(
网址名称 char(100),
网址 varchar(255),
注册名 char(50),
备注 varchar(255),
primary key(网址名称)
)
CREATE TABLE xuliehao1(
名称版本号 char(100),
版本类型 char(50),
序列号本身 char(100),
认证码 char(100),
备注 varchar(255),
primary key(名称版本号)
)