#!/usr/bin/env python3
"""Writes an Access (Jet 4) file of made-up contacts for the import benchmark.

Usage: makejet.py JETWRITE.py OUT.mdb CONTACTS

The contacts table has the program's 25 columns; the fixed-width ones are padded with blanks
to their width, as Access stores them, so mdb-export prints what a real old file gives.
"""
import importlib.util
import sys

WIDTHS = [("姓名", 50), ("邮箱", 50), ("QQ", 50), ("主页", 255), ("生日", None), ("性别", 2),
          ("手机", 50), ("身份证", 50), ("特长", 255), ("国家", 50), ("省", 50), ("市", 50),
          ("家庭地址", 255), ("电话", 50), ("传真", 50), ("邮编", 50), ("单位", 255),
          ("部门", 50), ("职务", 50), ("公司电话", 50), ("公司邮箱", 50), ("公司主页", 255),
          ("公司城市", 50), ("公司地址", 50), ("备注", 255)]
FIXED = {name for name, width in WIDTHS if width == 50 or width == 2}
SURNAMES = "王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗"
GIVEN = "伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超秀兰霞平刚桂英"


def value(name, i):
    if name == "姓名":
        return SURNAMES[i % 20] + GIVEN[(i // 20) % 26] + str(i)
    if name == "生日":
        return "%04d-%02d-%02d" % (1950 + i % 50, 1 + i % 12, 1 + i % 28) + (
            " 08:30:00" if i % 7 == 0 else "")
    if name in ("邮箱", "公司邮箱"):
        return "user%d@example.cn" % i
    if name in ("主页", "公司主页"):
        return "http://www.example%d.cn/" % (i % 997)
    if name == "性别":
        return "男" if i % 2 else "女"
    if name in ("手机", "电话", "传真", "公司电话", "QQ", "身份证", "邮编"):
        return str(13800000000 + i)
    if name in ("特长", "备注"):
        return "喜欢读书、旅行和摄影，第 %d 位联系人。\r\n第二行备注" % i
    return "北京市海淀区中关村大街 %d 号" % (i % 500) if "地址" in name else "北京"


def main(jetwrite, out, count):
    spec = importlib.util.spec_from_file_location("jetwrite", jetwrite)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    columns = [{"name": n, "type": "datetime"} if w is None else
               {"name": n, "type": "text", "size": w} for n, w in WIDTHS]
    rows = []
    for i in range(count):
        row = []
        for name, width in WIDTHS:
            v = value(name, i)
            row.append(v.ljust(width) if name in FIXED else v)
        rows.append(row)
    module.write_mdb(out, {"tables": [
        {"name": "lianxi1", "columns": columns, "primary_key": "姓名", "rows": rows},
        {"name": "wzsk1", "columns": [{"name": "网址名称", "type": "text", "size": 100}],
         "rows": []},
        {"name": "xuliehao1", "columns": [{"name": "名称版本号", "type": "text", "size": 100}],
         "rows": []}]})


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]))
