<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>BaseDlg</name>
    <message>
        <source>Close Window</source>
        <translation>关闭窗口</translation>
    </message>
    <message>
        <source>Minimized Window</source>
        <translation>最小化窗口</translation>
    </message>
    <message>
        <source>About Software</source>
        <translation>关于软件</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>信息</translation>
    </message>
    <message>
        <source>Home Page</source>
        <translation>主页</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>帮助</translation>
    </message>
    <message>
        <source>Sorvik Tavimo Recover backs up and restores NTFS and FAT32 partitions. Contact your system administrator for help.</source>
        <translation>Sorvik Tavimo Recover 可以备份和还原 NTFS 与 FAT32 分区。如需帮助，请联系系统管理员。</translation>
    </message>
    <message>
        <source>Sorvik Tavimo Recover 2.0 RC1</source>
        <translation>Sorvik Tavimo Recover 2.0 RC1</translation>
    </message>
    <message>
        <source>Home page</source>
        <translation>主页</translation>
    </message>
    <message>
        <source>There is no home page yet. Contact your system administrator.</source>
        <translation>暂时还没有主页。请联系系统管理员。</translation>
    </message>
</context>
<context>
    <name>BaseMsgDlg</name>
    <message>
        <source>Ok</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
</TS>
