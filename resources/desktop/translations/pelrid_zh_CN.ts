<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>desk</name>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>You must have administrator rights to run this program!</source>
        <translation>您必须拥有管理员权限才能运行本程序！</translation>
    </message>
    <message>
        <source>Getting the operating system&apos;s version failed!</source>
        <translation>获取操作系统版本失败！</translation>
    </message>
    <message>
        <source>This program needs Windows 7 with Service Pack 1 or later!</source>
        <translation>本程序需要 Windows 7 Service Pack 1 或更高版本！</translation>
    </message>
</context>
<context>
    <name>desk::BackupDlg</name>
    <message>
        <source>Backup</source>
        <translation>备份</translation>
    </message>
    <message>
        <source>Step 1</source>
        <translation>第一步</translation>
    </message>
    <message>
        <source>Step 2</source>
        <translation>第二步</translation>
    </message>
    <message>
        <source>Step 3</source>
        <translation>第三步</translation>
    </message>
    <message>
        <source>choose partition</source>
        <translation>选择分区</translation>
    </message>
    <message>
        <source>choose destination</source>
        <translation>选择目标位置</translation>
    </message>
    <message>
        <source>start backup</source>
        <translation>开始备份</translation>
    </message>
    <message>
        <source>You must select a partition to back up!</source>
        <translation>您必须选择一个要备份的分区！</translation>
    </message>
    <message>
        <source>You must enter a file name for the backup!</source>
        <translation>您必须输入备份文件名！</translation>
    </message>
    <message>
        <source>You must select the place to save the backup image!</source>
        <translation>您必须选择保存备份镜像的位置！</translation>
    </message>
    <message>
        <source>The partition you want to back up must be different from the place of the backup image!</source>
        <translation>要备份的分区不能是保存备份镜像的分区！</translation>
    </message>
    <message>
        <source>Incremental backup is only possible for NTFS partitions!</source>
        <translation>增量备份仅支持 NTFS 分区！</translation>
    </message>
    <message>
        <source>The destination partition is the same as the source partition!</source>
        <translation>目标分区与源分区相同！</translation>
    </message>
    <message>
        <source>The destination folder of the backup image does not exist any more!</source>
        <translation>备份镜像的目标文件夹已不存在！</translation>
    </message>
    <message>
        <source>The destination partition does not have enough space for the backup image!</source>
        <translation>目标分区没有足够的空间保存备份镜像！</translation>
    </message>
    <message>
        <source>Password Error</source>
        <translation>密码错误</translation>
    </message>
    <message>
        <source>The password must be empty or at least 6 characters long!</source>
        <translation>密码必须为空或至少 6 个字符！</translation>
    </message>
    <message>
        <source>The two passwords you entered are different!</source>
        <translation>两次输入的密码不一致！</translation>
    </message>
    <message>
        <source>The image this backup builds on is protected by a password. Please type its password!</source>
        <translation>此备份所基于的镜像受密码保护。请输入它的密码！</translation>
    </message>
    <message>
        <source>The password of the image this backup builds on is wrong!</source>
        <translation>此备份所基于的镜像的密码错误！</translation>
    </message>
    <message>
        <source>The file system of the destination partition is unknown!</source>
        <translation>目标分区的文件系统未知！</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>失败</translation>
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
        <source>Getting information on the previous image you selected failed!</source>
        <translation>获取所选上一个镜像的信息失败！</translation>
    </message>
    <message>
        <source>The backup image you selected is not of the same partition you selected!</source>
        <translation>您选择的备份镜像与您选择的分区不是同一个分区！</translation>
    </message>
    <message>
        <source>The image you selected is not the newest of its chain: an incremental backup builds on %1.</source>
        <translation>您选择的镜像不是其镜像链中最新的：增量备份应基于 %1。</translation>
    </message>
    <message>
        <source>The old image file %1 cannot be removed!</source>
        <translation>无法删除旧镜像文件 %1！</translation>
    </message>
    <message>
        <source>The backup was cancelled and its unfinished volumes were removed.</source>
        <translation>备份已取消，未完成的卷已删除。</translation>
    </message>
</context>
<context>
    <name>desk::BkWidget1</name>
    <message>
        <source>Partitions to back up</source>
        <translation>要备份的分区</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Get partition information failed!</source>
        <translation>获取分区信息失败！</translation>
    </message>
    <message>
        <source>FAT16 partitions are not supported!</source>
        <translation>不支持 FAT16 分区！</translation>
    </message>
    <message>
        <source>Partition to back up</source>
        <translation>要备份的分区</translation>
    </message>
</context>
<context>
    <name>desk::BkWidget2</name>
    <message>
        <source>Select the place of the backup image</source>
        <translation>选择备份镜像的位置</translation>
    </message>
    <message>
        <source>Backup type:</source>
        <translation>备份类型：</translation>
    </message>
    <message>
        <source>Image file:</source>
        <translation>镜像文件：</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>Full backup</source>
        <translation>完全备份</translation>
    </message>
    <message>
        <source>Incremental backup</source>
        <translation>增量备份</translation>
    </message>
    <message>
        <source>If you want to make an incremental backup, click &quot;Browse&quot; and select an existing backup file!</source>
        <translation>如果要进行增量备份，请点击“浏览”并选择一个已有的备份文件！</translation>
    </message>
    <message>
        <source>If you want to make a full backup of a partition, click &quot;Browse&quot;, select a folder and type the name you want to give your backup! </source>
        <translation>如果要完全备份一个分区，请点击“浏览”，选择一个文件夹并输入备份的名称！ </translation>
    </message>
    <message>
        <source>Select a destination folder</source>
        <translation>选择目标文件夹</translation>
    </message>
    <message>
        <source>Select *.bkp File</source>
        <translation>选择 *.bkp 文件</translation>
    </message>
    <message>
        <source>Backup Image File (*.bkp)</source>
        <translation>备份镜像文件 (*.bkp)</translation>
    </message>
    <message>
        <source>Image file</source>
        <translation>镜像文件</translation>
    </message>
    <message>
        <source>On %1, in the folder %2</source>
        <translation>位于 %1 的文件夹 %2 中</translation>
    </message>
</context>
<context>
    <name>desk::MainDlg</name>
    <message>
        <source>Sorvik Tavimo Recover</source>
        <translation>Sorvik Tavimo Recover</translation>
    </message>
    <message>
        <source>Backup</source>
        <translation>备份</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>还原</translation>
    </message>
    <message>
        <source>Tools</source>
        <translation>工具</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>还原</translation>
    </message>
    <message>
        <source>Backup partition to image</source>
        <translation>将分区备份为镜像</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Backup Partition</source>
        <translation>备份分区</translation>
    </message>
    <message>
        <source>Back up your partition to an image; you can restore your partition from this image!</source>
        <translation>将分区备份为镜像，以后可以从该镜像还原分区！</translation>
    </message>
    <message>
        <source>Restore Partition</source>
        <translation>还原分区</translation>
    </message>
    <message>
        <source>You can restore a partition from an image that you backed up before!</source>
        <translation>您可以从以前备份的镜像还原分区！</translation>
    </message>
    <message>
        <source>Some useful tools for backup and restore!</source>
        <translation>一些备份和还原的实用工具！</translation>
    </message>
</context>
<context>
    <name>desk::RestoreDlg</name>
    <message>
        <source>Restore</source>
        <translation>还原</translation>
    </message>
    <message>
        <source>Step 1</source>
        <translation>第一步</translation>
    </message>
    <message>
        <source>Step 2</source>
        <translation>第二步</translation>
    </message>
    <message>
        <source>Step 3</source>
        <translation>第三步</translation>
    </message>
    <message>
        <source>choose images</source>
        <translation>选择镜像</translation>
    </message>
    <message>
        <source>choose partition</source>
        <translation>选择分区</translation>
    </message>
    <message>
        <source>start restore</source>
        <translation>开始还原</translation>
    </message>
    <message>
        <source>You must select one image file to restore!</source>
        <translation>您必须选择一个要还原的镜像文件！</translation>
    </message>
    <message>
        <source>You must select one partition to restore!</source>
        <translation>您必须选择一个要还原的分区！</translation>
    </message>
    <message>
        <source>The destination partition is the partition that holds the backup image file!</source>
        <translation>目标分区就是保存备份镜像文件的分区！</translation>
    </message>
    <message>
        <source>The destination partition is the operating system&apos;s partition, please use the boot ISO to restore it!</source>
        <translation>目标分区是操作系统分区，请使用启动 ISO 还原它！</translation>
    </message>
    <message>
        <source>Password Error</source>
        <translation>密码错误</translation>
    </message>
    <message>
        <source>The password you entered is wrong!</source>
        <translation>您输入的密码错误！</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>You must select what to restore: the partition, the MBR or both!</source>
        <translation>您必须选择要还原的内容：分区、MBR 或两者！</translation>
    </message>
    <message>
        <source>All data on partition %1: will be erased!</source>
        <translation>分区 %1: 上的所有数据都将被清除！</translation>
    </message>
    <message>
        <source>Are you sure you want to restore the MBR of your %1 disk?</source>
        <translation>确定要还原 %1 磁盘的 MBR 吗？</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>Restore failed!</source>
        <translation>还原失败！</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>Restore succeeded!</source>
        <translation>还原成功！</translation>
    </message>
    <message>
        <source>Select the next volume: %1</source>
        <translation>选择下一个卷：%1</translation>
    </message>
    <message>
        <source>Backup Image File (*.bkp)</source>
        <translation>备份镜像文件 (*.bkp)</translation>
    </message>
    <message>
        <source>The file %1 does not exist. Please choose the next volume of the image!</source>
        <translation>文件 %1 不存在，请选择镜像的下一个卷！</translation>
    </message>
    <message>
        <source>The restore was cancelled: the partition holds an unfinished restore and must be restored again before it is used.</source>
        <translation>还原已取消：分区中是未完成的还原，使用前必须重新还原。</translation>
    </message>
</context>
<context>
    <name>desk::RtWidget1</name>
    <message>
        <source>Disk %1</source>
        <translation>磁盘 %1</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>逻辑</translation>
    </message>
    <message>
        <source>Pri</source>
        <translation>主</translation>
    </message>
    <message>
        <source>,Act</source>
        <translation>,活动</translation>
    </message>
    <message>
        <source>Disk</source>
        <translation>磁盘</translation>
    </message>
    <message>
        <source>Select images</source>
        <translation>选择镜像</translation>
    </message>
    <message>
        <source>Partition</source>
        <translation>分区</translation>
    </message>
    <message>
        <source>Flags</source>
        <translation>标志</translation>
    </message>
    <message>
        <source>Capacity</source>
        <translation>容量</translation>
    </message>
    <message>
        <source>Used space</source>
        <translation>已用空间</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>类型</translation>
    </message>
    <message>
        <source>Image info</source>
        <translation>镜像信息</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Select *.bkp File</source>
        <translation>选择 *.bkp 文件</translation>
    </message>
    <message>
        <source>Backup Image File (*.bkp)</source>
        <translation>备份镜像文件 (*.bkp)</translation>
    </message>
    <message>
        <source>The file name of a backup image ends with &quot;.bkp&quot;!</source>
        <translation>备份镜像的文件名必须以“.bkp”结尾！</translation>
    </message>
    <message>
        <source>MBR and Track 0</source>
        <translation>MBR 和 0 磁道</translation>
    </message>
    <message>
        <source>The file is not the first volume. If your image has more than one volume, you must select the first volume!</source>
        <translation>该文件不是第一个卷。如果镜像有多个卷，您必须选择第一个卷！</translation>
    </message>
    <message>
        <source>Error!</source>
        <translation>错误！</translation>
    </message>
    <message>
        <source>Image file is corrupted!</source>
        <translation>镜像文件已损坏！</translation>
    </message>
    <message>
        <source>Image file</source>
        <translation>镜像文件</translation>
    </message>
</context>
<context>
    <name>desk::RtWidget2</name>
    <message>
        <source>Select a partition to restore</source>
        <translation>选择要还原的分区</translation>
    </message>
    <message>
        <source>Partition to restore</source>
        <translation>要还原的分区</translation>
    </message>
</context>
<context>
    <name>desk::TreeModel</name>
    <message>
        <source>No partition can be shown: the system reported no disk.</source>
        <translation>无法显示分区：系统没有报告任何磁盘。</translation>
    </message>
    <message>
        <source>No partition can be shown: the system listed the disks but did not report their partitions (its answer to the request for their partition layout was an error).</source>
        <translation>无法显示分区：系统列出了磁盘，但没有报告其中的分区（读取分区布局的请求返回了错误）。</translation>
    </message>
    <message>
        <source>Pri,Act</source>
        <translation>主,活动</translation>
    </message>
    <message>
        <source>Logic,Act</source>
        <translation>逻辑,活动</translation>
    </message>
    <message>
        <source>Act</source>
        <translation>活动</translation>
    </message>
    <message>
        <source>Pri</source>
        <translation>主</translation>
    </message>
    <message>
        <source>Logic</source>
        <translation>逻辑</translation>
    </message>
    <message>
        <source>Disk %1</source>
        <translation>磁盘 %1</translation>
    </message>
    <message>
        <source>Partition</source>
        <translation>分区</translation>
    </message>
    <message>
        <source>Flags</source>
        <translation>标志</translation>
    </message>
    <message>
        <source>Capacity</source>
        <translation>容量</translation>
    </message>
    <message>
        <source>Used space</source>
        <translation>已用空间</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>类型</translation>
    </message>
</context>
<context>
    <name>desk::WizardFrame</name>
    <message>
        <source>Help</source>
        <translation>帮助</translation>
    </message>
    <message>
        <source>Sorvik Tavimo Recover %1 backs up and restores NTFS and FAT32 partitions. Contact your system administrator for help.</source>
        <translation>Sorvik Tavimo Recover %1 可备份和还原 NTFS 与 FAT32 分区。如需帮助，请联系您的系统管理员。</translation>
    </message>
    <message>
        <source>A job is running. Do you want to cancel it and close the program?</source>
        <translation>任务正在运行。要取消它并关闭程序吗？</translation>
    </message>
</context>
<context>
    <name>desk::langDlg</name>
    <message>
        <source>Set your preferences</source>
        <translation>设置您的偏好</translation>
    </message>
    <message>
        <source>Select your language</source>
        <translation>选择您的语言</translation>
    </message>
    <message>
        <source>Select the backup place</source>
        <translation>选择备份位置</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Select a destination folder</source>
        <translation>选择目标文件夹</translation>
    </message>
</context>
</TS>
