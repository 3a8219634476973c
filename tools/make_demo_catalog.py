#!/usr/bin/env python3
"""Writes a demo catalog in the maker's format (GBK, CR LF) with N programs.

Usage: make_demo_catalog.py OUTPUT [N] [BASE_URL]
"""
import sys

TITLES = ["文件批量改名", "图片压缩精灵", "屏幕录像专家", "文本批量替换", "快捷启动面板",
          "定时关机助手", "剪贴板记录器", "音频格式转换", "截图标注工具", "桌面便签",
          "网页批量下载", "Excel合并助手", "PDF分割合并", "视频格式工厂", "批量水印添加"]


def main():
    out = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 40
    base = sys.argv[3] if len(sys.argv) > 3 else "http://127.0.0.1:8765"
    lines = ["[盒子]", "下载源=", "最新版本=1.0.7.0", f"下载地址={base}/box.rar", "允许选择=是"]
    for i in range(1, count + 1):
        title = TITLES[(i - 1) % len(TITLES)] + ("" if i <= len(TITLES) else str(i))
        lines += [f"[汀芷·{title}]",
                  f"最新版本=2.{i}.0.0",
                  f"软件主页={base}/home/{i}.html",
                  f"下载地址={base}/files/{i}.rar",
                  "是否打开=否",
                  f"视频教程={base}/video/{i}.html" if i % 3 else "视频教程=",
                  f"软件类型={i % 4}"]
    with open(out, "wb") as f:
        f.write("\r\n".join(lines).encode("gbk"))


if __name__ == "__main__":
    main()
