<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>vp::RollWindow</name>
    <message>
        <source>Virtual printer — %1</source>
        <translation>虚拟打印机 — %1</translation>
    </message>
    <message>
        <source>Roll</source>
        <translation>纸卷</translation>
    </message>
    <message>
        <source>Save as PNG…</source>
        <translation>另存为 PNG…</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>清空</translation>
    </message>
    <message>
        <source>Printer state</source>
        <translation>打印机状态</translation>
    </message>
    <message>
        <source>Cover open</source>
        <translation>上盖打开</translation>
    </message>
    <message>
        <source>Paper near end</source>
        <translation>纸将尽</translation>
    </message>
    <message>
        <source>Paper end</source>
        <translation>缺纸</translation>
    </message>
    <message>
        <source>Drawer open</source>
        <translation>钱箱打开</translation>
    </message>
    <message>
        <source>Switch off and on</source>
        <translation>关机再开</translation>
    </message>
    <message>
        <source>The printer restarts: it loses what it has not printed and leaves hex dump mode</source>
        <translation>打印机重新开机：未打印的数据丢失，退出十六进制模式</translation>
    </message>
    <message>
        <source>The cover is open: the printer stops printing and keeps what it receives</source>
        <translation>上盖打开：打印机停止打印，保留收到的数据</translation>
    </message>
    <message>
        <source>The paper roll is nearly used up: the printer says so and prints on</source>
        <translation>纸卷快用完：打印机报告纸将尽，照常打印</translation>
    </message>
    <message>
        <source>The paper has run out: the printer stops printing and keeps what it receives</source>
        <translation>纸已用完：打印机停止打印，保留收到的数据</translation>
    </message>
    <message>
        <source>The drawer&apos;s sensor reads open; a drawer pulse also opens it for a while</source>
        <translation>钱箱传感器显示打开；开钱箱脉冲也会让它打开一会儿</translation>
    </message>
    <message>
        <source>port: %1</source>
        <translation>端口：%1</translation>
    </message>
    <message>
        <source>Receipt %1</source>
        <translation>第 %1 张小票</translation>
    </message>
    <message>
        <source>Receipts up to %1 are no longer shown: the window keeps the newest %2 MB of pictures</source>
        <translation>第 %1 张及之前的小票已不再显示：窗口只保留最新的 %2 MB 图片</translation>
    </message>
    <message>
        <source>Save the roll</source>
        <translation>保存纸卷</translation>
    </message>
    <message>
        <source>PNG pictures (*.png)</source>
        <translation>PNG 图片 (*.png)</translation>
    </message>
    <message>
        <source>Could not write %1.</source>
        <translation>无法写入 %1。</translation>
    </message>
</context>
</TS>
