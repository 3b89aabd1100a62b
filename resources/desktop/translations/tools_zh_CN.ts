<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>desk::ToolWidget1</name>
    <message>
        <source>Operating System Type:</source>
        <translation>操作系统类型：</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>未知</translation>
    </message>
    <message>
        <source>Install Sorvik Tavimo Recover %1:</source>
        <translation>安装 Sorvik Tavimo Recover %1：</translation>
    </message>
    <message>
        <source>Install Sorvik Tavimo Recover %1</source>
        <translation>安装 Sorvik Tavimo Recover %1</translation>
    </message>
    <message>
        <source>Install Sorvik Tavimo Recover %1 in your system partition, you can restore your operating system when you boot your computer and choose Sorvik Tavimo Recover to restore it.</source>
        <translation>将 Sorvik Tavimo Recover %1 安装到系统分区后，启动计算机时选择 Sorvik Tavimo Recover 即可还原您的操作系统。</translation>
    </message>
    <message>
        <source>Uninstall Sorvik Tavimo Recover %1</source>
        <translation>卸载 Sorvik Tavimo Recover %1</translation>
    </message>
    <message>
        <source>Uninstall Sorvik Tavimo Recover %1 in your system partition. It will remove the boot information in your system.</source>
        <translation>从系统分区卸载 Sorvik Tavimo Recover %1，将删除系统中的启动信息。</translation>
    </message>
    <message>
        <source>Uninstall</source>
        <translation>卸载</translation>
    </message>
    <message>
        <source>Install</source>
        <translation>安装</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>是</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Uninstalling</source>
        <translation>正在卸载</translation>
    </message>
    <message>
        <source>Installing</source>
        <translation>正在安装</translation>
    </message>
    <message>
        <source>Get Operation System Directory failed!</source>
        <translation>获取操作系统目录失败！</translation>
    </message>
    <message>
        <source>Run bcdedit failed!</source>
        <translation>运行 bcdedit 失败！</translation>
    </message>
    <message>
        <source>Create folder %1 failed!</source>
        <translation>创建文件夹 %1 失败！</translation>
    </message>
    <message>
        <source>Can not keep a copy of %1!</source>
        <translation>无法保留 %1 的副本！</translation>
    </message>
    <message>
        <source>Create menu.lst file failed!</source>
        <translation>创建 menu.lst 文件失败！</translation>
    </message>
    <message>
        <source>Copy file failed!</source>
        <translation>复制文件失败！</translation>
    </message>
    <message>
        <source>Can not write %1 file!</source>
        <translation>无法写入 %1 文件！</translation>
    </message>
    <message>
        <source>Modify boot.ini file failed!</source>
        <translation>修改 boot.ini 文件失败！</translation>
    </message>
    <message>
        <source>There is a boot item already exists which name Qomra.mbr!</source>
        <translation>已存在名为 Qomra.mbr 的启动项！</translation>
    </message>
    <message>
        <source>Find id failed!</source>
        <translation>查找启动项标识失败！</translation>
    </message>
</context>
<context>
    <name>desk::ToolWidget2</name>
    <message>
        <source>Form</source>
        <translation>窗体</translation>
    </message>
    <message>
        <source>Choose partition</source>
        <translation>选择分区</translation>
    </message>
    <message>
        <source>Scan</source>
        <translation>扫描</translation>
    </message>
    <message>
        <source>Select a deleted file in the list above and click &quot;Recover File&quot; to recover it.</source>
        <translation>您可以在上方选择一个已删除的文件，然后单击“恢复文件”按钮将其恢复。</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Recover File</source>
        <translation>恢复文件</translation>
    </message>
    <message>
        <source>&amp;Save As</source>
        <translation>另存为(&amp;S)</translation>
    </message>
    <message>
        <source>Recover the file to ...!</source>
        <translation>将文件恢复到……！</translation>
    </message>
    <message>
        <source>Scan failed!</source>
        <translation>扫描失败！</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>Scan success!</source>
        <translation>扫描成功！</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>Save File As</source>
        <translation>文件另存为</translation>
    </message>
    <message>
        <source>all files (*)</source>
        <translation>所有文件 (*)</translation>
    </message>
    <message>
        <source>You can't save the file to the scan partition!</source>
        <translation>不能将文件保存到正在扫描的分区！</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Recover failed!</source>
        <translation>恢复失败！</translation>
    </message>
    <message>
        <source>Recover success!</source>
        <translation>恢复成功！</translation>
    </message>
    <message>
        <source>Deleted files</source>
        <translation>已删除的文件</translation>
    </message>
</context>
<context>
    <name>desk::FileModel</name>
    <message>
        <source>MFTNo</source>
        <translation>MFT 编号</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>文件名</translation>
    </message>
    <message>
        <source>File Time</source>
        <translation>文件时间</translation>
    </message>
    <message>
        <source>File Size</source>
        <translation>文件大小</translation>
    </message>
    <message>
        <source>Data Integrity</source>
        <translation>数据完整性</translation>
    </message>
</context>
<context>
    <name>desk::ToolDlg</name>
    <message>
        <source>Tools</source>
        <translation>工具</translation>
    </message>
    <message>
        <source>Install Boot</source>
        <translation>安装启动项</translation>
    </message>
    <message>
        <source>Recover File</source>
        <translation>恢复文件</translation>
    </message>
    <message>
        <source>Return</source>
        <translation>返回</translation>
    </message>
</context>
<context>
    <name>desk::JustBackupDlg</name>
    <message>
        <source>Drive %1: cannot be backed up: it is not a partition of the disks the system reports.</source>
        <translation>无法备份驱动器 %1:，它不是系统所报告磁盘上的分区。</translation>
    </message>
    <message>
        <source>Backup Partition</source>
        <translation>备份分区</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Select a destination directory</source>
        <translation>选择目标目录</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>The save path is same to the backup partition!</source>
        <translation>保存路径与要备份的分区相同！</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Unknown the select partition's file system!</source>
        <translation>无法识别所选分区的文件系统！</translation>
    </message>
    <message>
        <source>Backup Partition: %1  Backup Times: %2</source>
        <translation>备份分区：%1  备份时间：%2</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>The destination partition's file system is unknown!</source>
        <translation>目标分区的文件系统未知！</translation>
    </message>
    <message>
        <source>Do you want to backup your %1 partition?</source>
        <translation>是否备份您的 %1 分区？</translation>
    </message>
    <message>
        <source>Backup failed!</source>
        <translation>备份失败！</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>Backup succeeded!</source>
        <translation>备份成功！</translation>
    </message>
    <message>
        <source>The old image file %1 cannot be removed!</source>
        <translation>无法删除旧镜像文件 %1！</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>已取消</translation>
    </message>
    <message>
        <source>The backup was cancelled and its unfinished volumes were removed.</source>
        <translation>备份已取消，未完成的卷已删除。</translation>
    </message>
</context>
</TS>
