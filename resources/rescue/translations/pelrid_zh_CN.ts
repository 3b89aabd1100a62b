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
        <source>Sorvik Tavimo Recover %1</source>
        <translation>Sorvik Tavimo Recover %1</translation>
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
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>WizardFrame</name>
    <message>
        <source>Return</source>
        <translation>返回</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>上一步</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>下一步</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>开始</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Finish</source>
        <translation>完成</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>已取消</translation>
    </message>
</context>
<context>
    <name>BackupWizard</name>
    <message>
        <source>An image named %1 already exists there, and the destination cannot hold it and the new image together: the new image needs up to %2 of free space, there are %3 free, and the old image takes %4. Do you want to delete the old image before the backup starts? If the backup then fails, no image is left.</source>
        <translation>该位置已存在名为 %1 的镜像，目标位置无法同时容纳它和新镜像：新镜像最多需要 %2 的可用空间，当前可用 %3，旧镜像占用 %4。是否在备份开始前删除旧镜像？如果备份随后失败，将不会留下任何镜像。</translation>
    </message>
    <message>
        <source>An image named %1 already exists there. It is kept until the new image is written whole; then its other volumes and the incremental images built on it are removed. Do you want to go on?</source>
        <translation>该位置已存在名为 %1 的镜像。在新镜像完整写入之前它会被保留；之后它的其余分卷以及基于它的增量镜像将被删除。是否继续？</translation>
    </message>
    <message>
        <source>These files could not be removed: %1</source>
        <translation>以下文件无法删除：%1</translation>
    </message>
    <message>
        <source>The old image was deleted before the backup.</source>
        <translation>旧镜像已在备份前删除。</translation>
    </message>
    <message>
        <source>The image %1 that was there before is kept unchanged.</source>
        <translation>原有的镜像 %1 保持不变。</translation>
    </message>
    <message>
        <source>The image %1 that was there before was changed and may no longer restore.</source>
        <translation>原有的镜像 %1 已被改动，可能无法再恢复。</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
</context>
<context>
    <name>MainDlg</name>
    <message>
        <source>Backup</source>
        <translation>备份</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>还原</translation>
    </message>
    <message>
        <source>Clone Partition</source>
        <translation>克隆分区</translation>
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
        <source>Initialize</source>
        <translation>初始化</translation>
    </message>
    <message>
        <source>Probing system devices ......  </source>
        <translation>正在检测系统设备……  </translation>
    </message>
    <message>
        <source>Backup Partition</source>
        <translation>备份分区</translation>
    </message>
    <message>
        <source>Back up your partition to an image; you can restore your partition from this image!</source>
        <translation>将分区备份为镜像文件，以后可以用这个镜像还原分区！</translation>
    </message>
    <message>
        <source>Restore Partition</source>
        <translation>还原分区</translation>
    </message>
    <message>
        <source>You can restore a partition from an image that you backed up before!</source>
        <translation>可以用以前备份的镜像还原分区！</translation>
    </message>
    <message>
        <source>You can choose a partition to clone to another partition!</source>
        <translation>可以选择一个分区克隆到另一个分区！</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>A backup or restore is still running. Cancel it or wait until it ends.</source>
        <translation>备份或还原仍在进行。请先取消，或等待它结束。</translation>
    </message>
    <message>
        <source>Main window</source>
        <translation>主窗口</translation>
    </message>
</context>
<context>
    <name>CloneDlg</name>
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
        <translation>选择目标</translation>
    </message>
    <message>
        <source>start clone</source>
        <translation>开始克隆</translation>
    </message>
    <message>
        <source>Clone wizard</source>
        <translation>克隆向导</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>Clone failed!</source>
        <translation>克隆失败！</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>成功</translation>
    </message>
</context>
<context>
    <name>ClonePartitionPage</name>
    <message>
        <source>Form</source>
        <translation>表单</translation>
    </message>
    <message>
        <source>Why the partition cannot be chosen</source>
        <translation>该分区不能选择的原因</translation>
    </message>
    <message>
        <source>%1 cannot be chosen: %2</source>
        <translation>%1 不能选择：%2</translation>
    </message>
</context>
<context>
    <name>CloneWidget1</name>
    <message>
        <source>Select a source partition</source>
        <translation>选择源分区</translation>
    </message>
    <message>
        <source>Source partition:</source>
        <translation>源分区：</translation>
    </message>
</context>
<context>
    <name>CloneWidget2</name>
    <message>
        <source>Select a destination partition</source>
        <translation>选择目标分区</translation>
    </message>
    <message>
        <source>Destination partition:</source>
        <translation>目标分区：</translation>
    </message>
</context>
<context>
    <name>CloneWidget3</name>
    <message>
        <source>Form</source>
        <translation>表单</translation>
    </message>
    <message>
        <source>Clone option</source>
        <translation>克隆选项</translation>
    </message>
    <message>
        <source>filter page file</source>
        <translation>不复制页面文件</translation>
    </message>
    <message>
        <source>filter hibernate file</source>
        <translation>不复制休眠文件</translation>
    </message>
</context>
<context>
    <name>langDlg</name>
    <message>
        <source>Select language</source>
        <translation>选择语言</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Sorvik Tavimo Recover %1</source>
        <translation>Sorvik Tavimo Recover %1</translation>
    </message>
</context>
<context>
    <name>TreeModel</name>
    <message>
        <source>Unfinished restore</source>
        <translation>未完成的还原</translation>
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
        <source>Disk %1</source>
        <translation>磁盘 %1</translation>
    </message>
    <message>
        <source>Pri</source>
        <translation>主</translation>
    </message>
    <message>
        <source>Pri,Act</source>
        <translation>主,活动</translation>
    </message>
    <message>
        <source>Logic</source>
        <translation>逻辑</translation>
    </message>
    <message>
        <source>Logic,Act</source>
        <translation>逻辑,活动</translation>
    </message>
    <message>
        <source>Act</source>
        <translation>活动</translation>
    </message>
</context>
<context>
    <name>StartBkWidget</name>
    <message>
        <source>Checking the image</source>
        <translation>正在检查镜像</translation>
    </message>
    <message>
        <source>The image is read whole before anything is written to the partition.</source>
        <translation>在向分区写入任何数据之前，将完整读取镜像。</translation>
    </message>
    <message>
        <source>Restoring</source>
        <translation>正在还原</translation>
    </message>
    <message>
        <source>Backing up</source>
        <translation>正在备份</translation>
    </message>
    <message>
        <source>State:</source>
        <translation>状态:</translation>
    </message>
    <message>
        <source>Current File:</source>
        <translation>当前文件:</translation>
    </message>
    <message>
        <source>Speed:</source>
        <translation>速度:</translation>
    </message>
    <message>
        <source>Bytes Restored:</source>
        <translation>已还原字节:</translation>
    </message>
    <message>
        <source>Bytes Backed Up:</source>
        <translation>已备份字节:</translation>
    </message>
    <message>
        <source>Elapsed Time:</source>
        <translation>已用时间:</translation>
    </message>
    <message>
        <source>Time Left:</source>
        <translation>剩余时间:</translation>
    </message>
    <message>
        <source>Initializing...</source>
        <translation>正在初始化...</translation>
    </message>
    <message>
        <source>Don&apos;t turn off the power while your partition is being restored!</source>
        <translation>还原分区期间请勿关闭电源!</translation>
    </message>
    <message>
        <source>Don&apos;t turn off the power while your partition is being backed up!</source>
        <translation>备份分区期间请勿关闭电源!</translation>
    </message>
    <message>
        <source>%1 GB/s</source>
        <translation>%1 GB/s</translation>
    </message>
    <message>
        <source>%1 MB/s</source>
        <translation>%1 MB/s</translation>
    </message>
    <message>
        <source>%1 KB/s</source>
        <translation>%1 KB/s</translation>
    </message>
    <message>
        <source>%1 B/s</source>
        <translation>%1 B/s</translation>
    </message>
    <message>
        <source>%1 / %2</source>
        <translation>%1 / %2</translation>
    </message>
    <message>
        <source>%1%</source>
        <translation>%1%</translation>
    </message>
    <message>
        <source>Cloning</source>
        <translation>正在克隆</translation>
    </message>
    <message>
        <source>Bytes Copied:</source>
        <translation>已复制字节：</translation>
    </message>
    <message>
        <source>Don&apos;t turn off the power while your partition is being cloned!</source>
        <translation>克隆分区时请勿关闭电源！</translation>
    </message>
</context>
<context>
    <name>JobMessages</name>
    <message>
        <source>The image check was cancelled: nothing was written to the partition.</source>
        <translation>镜像检查已取消：未向分区写入任何数据。</translation>
    </message>
    <message>
        <source>The image is damaged or incomplete.</source>
        <translation>镜像已损坏或不完整。</translation>
    </message>
    <message>
        <source>The image is damaged or incomplete: the fault is in %1.</source>
        <translation>镜像已损坏或不完整：错误位于 %1。</translation>
    </message>
    <message>
        <source>Nothing was written to the partition. Restore from another copy of the image, or put its missing volume back.</source>
        <translation>未向分区写入任何数据。请从镜像的另一份副本还原，或将缺失的分卷放回原处。</translation>
    </message>
    <message>
        <source>The image this backup builds on is protected by a password.</source>
        <translation>此备份所基于的镜像受密码保护。</translation>
    </message>
    <message>
        <source>Type the password of that image.</source>
        <translation>请输入该镜像的密码。</translation>
    </message>
    <message>
        <source>The password of the image this backup builds on is wrong.</source>
        <translation>此备份所基于的镜像的密码错误。</translation>
    </message>
    <message>
        <source>Type the password that image was made with.</source>
        <translation>请输入制作该镜像时使用的密码。</translation>
    </message>
    <message>
        <source>The image %1 can no longer be read; its partition may have been unmounted.</source>
        <translation>无法再读取镜像 %1；其所在分区可能已被卸载。</translation>
    </message>
    <message>
        <source>Choose the image again.</source>
        <translation>请重新选择镜像。</translation>
    </message>
    <message>
        <source>The partition's boot area cannot be read.</source>
        <translation>无法读取该分区的引导区。</translation>
    </message>
    <message>
        <source>Check the partition with its file system's own checking tool, then try again.</source>
        <translation>请用该分区文件系统自带的检查工具检查它，然后重试。</translation>
    </message>
    <message>
        <source>An image file cannot be opened.</source>
        <translation>无法打开镜像文件。</translation>
    </message>
    <message>
        <source>Check that the place of the image is still there and that it can be read and written, then try again.</source>
        <translation>请确认镜像所在的位置仍然存在并且可以读写，然后重试。</translation>
    </message>
    <message>
        <source>An image file cannot be read.</source>
        <translation>无法读取镜像文件。</translation>
    </message>
    <message>
        <source>The medium that holds the image may be damaged or was removed: check it, then try again.</source>
        <translation>存放镜像的介质可能已损坏或已被移除：请检查它，然后重试。</translation>
    </message>
    <message>
        <source>An image file cannot be written.</source>
        <translation>无法写入镜像文件。</translation>
    </message>
    <message>
        <source>Check that the destination has enough free space and is not write-protected, then try again.</source>
        <translation>请确认目标位置有足够的可用空间并且没有写保护，然后重试。</translation>
    </message>
    <message>
        <source>A volume of the image was not found.</source>
        <translation>找不到镜像的某个分卷。</translation>
    </message>
    <message>
        <source>Put all the volumes of the image in place, then try again.</source>
        <translation>请把镜像的所有分卷放到位，然后重试。</translation>
    </message>
    <message>
        <source>An image file cannot be read at the place its records give.</source>
        <translation>无法在镜像记录所指的位置读取镜像文件。</translation>
    </message>
    <message>
        <source>The image may be damaged: check its medium, or choose another image.</source>
        <translation>镜像可能已损坏：请检查它的介质，或选择另一个镜像。</translation>
    </message>
    <message>
        <source>The file is not a backup image, or its records are damaged.</source>
        <translation>该文件不是备份镜像，或者它的记录已损坏。</translation>
    </message>
    <message>
        <source>Choose the first volume of a backup image made by this program.</source>
        <translation>请选择由本程序制作的备份镜像的第一个分卷。</translation>
    </message>
    <message>
        <source>The partition cannot be opened.</source>
        <translation>无法打开该分区。</translation>
    </message>
    <message>
        <source>Check that the partition is still there and that no other program uses it, then try again.</source>
        <translation>请确认该分区仍然存在并且没有其他程序在使用它，然后重试。</translation>
    </message>
    <message>
        <source>The partition cannot be read.</source>
        <translation>无法读取该分区。</translation>
    </message>
    <message>
        <source>The disk may be failing: check it, then try again.</source>
        <translation>磁盘可能出现故障：请检查它，然后重试。</translation>
    </message>
    <message>
        <source>The partition cannot be written.</source>
        <translation>无法写入该分区。</translation>
    </message>
    <message>
        <source>The disk may be failing or write-protected: check it, then try again.</source>
        <translation>磁盘可能出现故障或有写保护：请检查它，然后重试。</translation>
    </message>
    <message>
        <source>The partition cannot be read or written at the place needed.</source>
        <translation>无法在所需的位置读写该分区。</translation>
    </message>
    <message>
        <source>The partition's file system cannot be read.</source>
        <translation>无法读取该分区的文件系统。</translation>
    </message>
    <message>
        <source>The target partition is too small for the image.</source>
        <translation>目标分区太小，容纳不下该镜像。</translation>
    </message>
    <message>
        <source>Choose a larger partition.</source>
        <translation>请选择一个更大的分区。</translation>
    </message>
    <message>
        <source>The computer ran out of memory.</source>
        <translation>计算机内存不足。</translation>
    </message>
    <message>
        <source>Close other programs, then try again.</source>
        <translation>请关闭其他程序，然后重试。</translation>
    </message>
    <message>
        <source>The job stopped on an unexpected fault of the program.</source>
        <translation>作业因程序的意外故障而停止。</translation>
    </message>
    <message>
        <source>Try again; when it happens again, keep the job&apos;s log for the program&apos;s support.</source>
        <translation>请重试；如果再次发生，请保留该作业的日志，以便程序的技术支持查看。</translation>
    </message>
    <message>
        <source>The disk cannot be opened.</source>
        <translation>无法打开该磁盘。</translation>
    </message>
    <message>
        <source>Check that the disk is still connected, then try again.</source>
        <translation>请确认该磁盘仍然连接着，然后重试。</translation>
    </message>
    <message>
        <source>The disk's MBR cannot be read.</source>
        <translation>无法读取该磁盘的 MBR。</translation>
    </message>
    <message>
        <source>The disk's MBR cannot be written.</source>
        <translation>无法写入该磁盘的 MBR。</translation>
    </message>
    <message>
        <source>Compressing or uncompressing the data failed.</source>
        <translation>压缩或解压数据失败。</translation>
    </message>
    <message>
        <source>The image may be damaged: choose another image, or make the backup again.</source>
        <translation>镜像可能已损坏：请选择另一个镜像，或重新备份。</translation>
    </message>
    <message>
        <source>The file chosen is a later volume of an image.</source>
        <translation>所选文件是某个镜像的后续分卷。</translation>
    </message>
    <message>
        <source>Choose the image's first volume: its name ends in &quot;_0_&lt;number&gt;.bkp&quot;.</source>
        <translation>请选择该镜像的第一个分卷：它的名称以“_0_&lt;编号&gt;.bkp”结尾。</translation>
    </message>
    <message>
        <source>A volume of the image came out of order.</source>
        <translation>镜像的某个分卷顺序不对。</translation>
    </message>
    <message>
        <source>Give the volume the program asks for, then try again.</source>
        <translation>请提供程序要求的分卷，然后重试。</translation>
    </message>
    <message>
        <source>The volumes of the image do not belong together.</source>
        <translation>镜像的各个分卷不属于同一个镜像。</translation>
    </message>
    <message>
        <source>Put the image's own volumes in one folder, then try again.</source>
        <translation>请把该镜像自己的分卷放在同一个文件夹中，然后重试。</translation>
    </message>
    <message>
        <source>The image is damaged: its data differ from what it records of itself.</source>
        <translation>镜像已损坏：它的数据与它自身的记录不符。</translation>
    </message>
    <message>
        <source>Use another image of the partition, or make a new full backup.</source>
        <translation>请使用该分区的另一个镜像，或重新做一次完全备份。</translation>
    </message>
    <message>
        <source>The chain already holds the most incremental images it can.</source>
        <translation>该镜像链中的增量镜像已达到上限。</translation>
    </message>
    <message>
        <source>Make a full backup to start a new chain.</source>
        <translation>请做一次完全备份，开始新的镜像链。</translation>
    </message>
    <message>
        <source>The image would need more volumes than an image can have.</source>
        <translation>该镜像需要的分卷数超过了一个镜像所能拥有的数量。</translation>
    </message>
    <message>
        <source>Choose a larger volume size, then try again.</source>
        <translation>请选择更大的分卷大小，然后重试。</translation>
    </message>
    <message>
        <source>The description, a path or a name is too long for the image.</source>
        <translation>描述、路径或名称太长，镜像无法保存。</translation>
    </message>
    <message>
        <source>Shorten the description or the image's path, then try again.</source>
        <translation>请缩短描述或镜像的路径，然后重试。</translation>
    </message>
    <message>
        <source>A volume of the image is cut short.</source>
        <translation>镜像的某个分卷不完整。</translation>
    </message>
    <message>
        <source>Copy the volume again from where it was made, or use another image.</source>
        <translation>请从制作它的地方重新复制该分卷，或使用另一个镜像。</translation>
    </message>
    <message>
        <source>The image's data go on past its last volume.</source>
        <translation>镜像的数据在最后一个分卷之后仍未结束。</translation>
    </message>
    <message>
        <source>The image is incomplete or damaged: use another image.</source>
        <translation>镜像不完整或已损坏：请使用另一个镜像。</translation>
    </message>
    <message>
        <source>A volume of another image stands where a volume of this image should be.</source>
        <translation>本应是该镜像分卷的位置上放着另一个镜像的分卷。</translation>
    </message>
    <message>
        <source>Give this image's own volume of that name, then try again.</source>
        <translation>请提供该镜像自己的同名分卷，然后重试。</translation>
    </message>
    <message>
        <source>The image chosen is not the newest of its chain.</source>
        <translation>所选镜像不是其镜像链中最新的镜像。</translation>
    </message>
    <message>
        <source>Choose the newest image of the chain for the incremental backup.</source>
        <translation>请选择镜像链中最新的镜像来做增量备份。</translation>
    </message>
    <message>
        <source>No disk is known to hold the target partition, so no MBR can be written.</source>
        <translation>找不到包含目标分区的磁盘，因此无法写入 MBR。</translation>
    </message>
    <message>
        <source>Restore the partition without the MBR.</source>
        <translation>请只还原分区，不还原 MBR。</translation>
    </message>
    <message>
        <source>The check of the restored file system found damage.</source>
        <translation>对还原后的文件系统的检查发现了损坏。</translation>
    </message>
    <message>
        <source>Do not use the partition: restore it again from another image.</source>
        <translation>请不要使用该分区：请用另一个镜像重新还原它。</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Password Error</source>
        <translation>密码错误</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>The backup stopped with error code %1.</source>
        <translation>备份因错误代码 %1 而停止。</translation>
    </message>
    <message>
        <source>The restore stopped with error code %1.</source>
        <translation>还原因错误代码 %1 而停止。</translation>
    </message>
    <message>
        <source>Try again; if it fails again, keep the program's log for the support.</source>
        <translation>请重试；如果再次失败，请保留程序的日志以便获得支持。</translation>
    </message>
    <message>
        <source>An incremental backup is possible for NTFS partitions only.</source>
        <translation>只能对 NTFS 分区做增量备份。</translation>
    </message>
    <message>
        <source>Choose a full backup for this partition.</source>
        <translation>请对此分区做完全备份。</translation>
    </message>
    <message>
        <source>The file you chose is a later volume of its image.</source>
        <translation>您选择的文件是其镜像的后续分卷。</translation>
    </message>
    <message>
        <source>Choose %1, the first volume of that image.</source>
        <translation>请选择 %1，即该镜像的第一个分卷。</translation>
    </message>
    <message>
        <source>Getting information on the previous image you selected failed!</source>
        <translation>获取您所选的上一个镜像的信息失败！</translation>
    </message>
    <message>
        <source>Choose the first volume of the newest image of the chain.</source>
        <translation>请选择镜像链中最新镜像的第一个分卷。</translation>
    </message>
    <message>
        <source>The backup image you selected is not of the partition you selected!</source>
        <translation>您选择的备份镜像不是您所选分区的镜像！</translation>
    </message>
    <message>
        <source>Choose an image of this partition, or make a full backup.</source>
        <translation>请选择此分区的镜像，或做一次完全备份。</translation>
    </message>
    <message>
        <source>The image you selected is not the newest of its chain.</source>
        <translation>您选择的镜像不是其镜像链中最新的镜像。</translation>
    </message>
    <message>
        <source>Choose %1: an incremental backup builds on the newest image.</source>
        <translation>请选择 %1：增量备份建立在最新的镜像之上。</translation>
    </message>
    <message>
        <source>The destination does not have enough free space for the backup image: it needs %1 free and has %2.</source>
        <translation>目标位置没有足够的可用空间存放备份镜像：需要 %1 可用空间，现有 %2。</translation>
    </message>
    <message>
        <source>Choose another place, or free space on this one.</source>
        <translation>请选择另一个位置，或在此位置上释放空间。</translation>
    </message>
    <message>
        <source>The password is too short.</source>
        <translation>密码太短。</translation>
    </message>
    <message>
        <source>Leave it empty or type at least 6 characters.</source>
        <translation>请留空或输入至少 6 个字符。</translation>
    </message>
    <message>
        <source>The two passwords you entered are different.</source>
        <translation>您两次输入的密码不一致。</translation>
    </message>
    <message>
        <source>Type the same password in both fields.</source>
        <translation>请在两个输入框中输入相同的密码。</translation>
    </message>
    <message>
        <source>The file system of the destination is unknown, so no volume size fits it.</source>
        <translation>目标位置的文件系统未知，没有合适的分卷大小。</translation>
    </message>
    <message>
        <source>Choose a fixed volume size instead of &quot;Auto&quot;.</source>
        <translation>请选择固定的分卷大小，而不是“自动”。</translation>
    </message>
    <message>
        <source>The old image file %1 cannot be removed.</source>
        <translation>无法删除旧的镜像文件 %1。</translation>
    </message>
    <message>
        <source>Check that the file is not write-protected or in use, or choose another name.</source>
        <translation>请确认该文件没有写保护或正被使用，或选择另一个名称。</translation>
    </message>
    <message>
        <source>No image file is chosen.</source>
        <translation>没有选择镜像文件。</translation>
    </message>
    <message>
        <source>Choose the first volume of the image to restore.</source>
        <translation>请选择要还原的镜像的第一个分卷。</translation>
    </message>
    <message>
        <source>No partition is chosen.</source>
        <translation>没有选择分区。</translation>
    </message>
    <message>
        <source>Choose the partition to restore the image to.</source>
        <translation>请选择要将镜像还原到的分区。</translation>
    </message>
    <message>
        <source>The partition is the running system's own partition.</source>
        <translation>该分区是正在运行的系统自己的分区。</translation>
    </message>
    <message>
        <source>Start the computer from the rescue disc to restore it.</source>
        <translation>请从救援光盘启动计算机来还原它。</translation>
    </message>
    <message>
        <source>The partition is too small for the image: the image holds %1, the partition has %2.</source>
        <translation>该分区太小，容纳不下该镜像：镜像包含 %1，分区只有 %2。</translation>
    </message>
    <message>
        <source>The password you entered is wrong.</source>
        <translation>您输入的密码错误。</translation>
    </message>
    <message>
        <source>Type the password the image was made with.</source>
        <translation>请输入制作该镜像时使用的密码。</translation>
    </message>
    <message>
        <source>Nothing is chosen to restore.</source>
        <translation>没有选择要还原的内容。</translation>
    </message>
    <message>
        <source>Tick the partition, the MBR or both.</source>
        <translation>请勾选分区、MBR 或两者。</translation>
    </message>
    <message>
        <source>The image is on this partition: restoring would overwrite it.</source>
        <translation>镜像就在此分区上：还原会覆盖它。</translation>
    </message>
    <message>
        <source>Choose another partition, or copy the image elsewhere first.</source>
        <translation>请选择另一个分区，或先把镜像复制到别处。</translation>
    </message>
    <message>
        <source>This partition fills its whole disk, which has no MBR.</source>
        <translation>此分区占满了整个磁盘，该磁盘没有 MBR。</translation>
    </message>
    <message>
        <source>Restore the partition alone.</source>
        <translation>请只还原分区。</translation>
    </message>
    <message>
        <source>Backup succeeded!</source>
        <translation>备份成功！</translation>
    </message>
    <message>
        <source>The image is in %1: %2 volume(s), %3 in all.</source>
        <translation>镜像位于 %1：共 %2 个分卷，合计 %3。</translation>
    </message>
    <message>
        <source>The backup took %1.</source>
        <translation>备份用时 %1。</translation>
    </message>
    <message>
        <source>Restore succeeded!</source>
        <translation>还原成功！</translation>
    </message>
    <message>
        <source>Partition %1 was restored.</source>
        <translation>分区 %1 已还原。</translation>
    </message>
    <message>
        <source>The restore took %1.</source>
        <translation>还原用时 %1。</translation>
    </message>
    <message>
        <source>The MBR of disk %1 was restored.</source>
        <translation>磁盘 %1 的 MBR 已还原。</translation>
    </message>
    <message>
        <source>All data on partition %1 will be erased! Do you want to go on?</source>
        <translation>分区 %1 上的所有数据都将被清除！是否继续？</translation>
    </message>
    <message>
        <source>The MBR of disk %1 will be overwritten! Do you want to go on?</source>
        <translation>磁盘 %1 的 MBR 将被覆盖！是否继续？</translation>
    </message>
    <message>
        <source>Made: %1</source>
        <translation>制作时间：%1</translation>
    </message>
    <message>
        <source>Incremental image %1, built on %2</source>
        <translation>增量镜像 %1，基于 %2</translation>
    </message>
    <message>
        <source>Full image</source>
        <translation>完全镜像</translation>
    </message>
    <message>
        <source>Size: %1</source>
        <translation>大小：%1</translation>
    </message>
    <message>
        <source>Password: yes</source>
        <translation>密码：有</translation>
    </message>
    <message>
        <source>Password: none</source>
        <translation>密码：无</translation>
    </message>
    <message>
        <source>Description: %1</source>
        <translation>描述：%1</translation>
    </message>
    <message>
        <source>none</source>
        <translation>无</translation>
    </message>
    <message>
        <source>The destination partition is the source partition itself.</source>
        <translation>目标分区就是源分区本身。</translation>
    </message>
    <message>
        <source>Choose another partition as the destination.</source>
        <translation>请选择另一个分区作为目标。</translation>
    </message>
    <message>
        <source>The destination partition holds a mounted file system.</source>
        <translation>目标分区上有已挂载的文件系统。</translation>
    </message>
    <message>
        <source>Unmount it first, then try again.</source>
        <translation>请先卸载，然后重试。</translation>
    </message>
    <message>
        <source>The source partition holds an unfinished restore, not a file system: there is nothing to copy.</source>
        <translation>源分区中是未完成的还原，而不是文件系统：没有可复制的内容。</translation>
    </message>
    <message>
        <source>Restore that partition again before you copy it.</source>
        <translation>请先重新还原该分区，然后再复制。</translation>
    </message>
    <message>
        <source>The destination partition is too small for the source&apos;s data.</source>
        <translation>目标分区太小，容纳不下源分区的数据。</translation>
    </message>
    <message>
        <source>Choose a larger destination partition.</source>
        <translation>请选择一个更大的目标分区。</translation>
    </message>
    <message>
        <source>The clone stopped with error code %1.</source>
        <translation>克隆因错误代码 %1 而停止。</translation>
    </message>
    <message>
        <source>No source partition is chosen.</source>
        <translation>未选择源分区。</translation>
    </message>
    <message>
        <source>Choose the NTFS or FAT32 partition to copy.</source>
        <translation>请选择要复制的 NTFS 或 FAT32 分区。</translation>
    </message>
    <message>
        <source>No destination partition is chosen.</source>
        <translation>未选择目标分区。</translation>
    </message>
    <message>
        <source>Choose the partition the copy is written to.</source>
        <translation>请选择写入副本的分区。</translation>
    </message>
    <message>
        <source>Only NTFS and FAT32 partitions can be cloned.</source>
        <translation>只能克隆 NTFS 和 FAT32 分区。</translation>
    </message>
    <message>
        <source>Choose an NTFS or FAT32 partition as the source.</source>
        <translation>请选择一个 NTFS 或 FAT32 分区作为源。</translation>
    </message>
    <message>
        <source>The partition holds an unfinished restore, not a file system: there is nothing to copy.</source>
        <translation>该分区中是未完成的还原，而不是文件系统：没有可复制的内容。</translation>
    </message>
    <message>
        <source>The destination partition is too small: the source&apos;s data take %1, the destination has %2.</source>
        <translation>目标分区太小：源分区的数据占用 %1，目标分区只有 %2。</translation>
    </message>
    <message>
        <source>not NTFS or FAT32</source>
        <translation>不是 NTFS 或 FAT32</translation>
    </message>
    <message>
        <source>an unfinished restore, no file system</source>
        <translation>未完成的还原，没有文件系统</translation>
    </message>
    <message>
        <source>the source itself</source>
        <translation>源分区本身</translation>
    </message>
    <message>
        <source>too small: the source&apos;s data take %1, it has %2</source>
        <translation>太小：源分区的数据占用 %1，该分区只有 %2</translation>
    </message>
    <message>
        <source>Partition %1 is mounted by another program.</source>
        <translation>分区 %1 已被其他程序挂载。</translation>
    </message>
    <message>
        <source>All data on partition %1 will be erased and replaced by a copy of partition %2! Do you want to go on?</source>
        <translation>分区 %1 上的所有数据都将被清除，并替换为分区 %2 的副本！是否继续？</translation>
    </message>
    <message>
        <source>Clone succeeded!</source>
        <translation>克隆成功！</translation>
    </message>
    <message>
        <source>Partition %1 is now a copy of partition %2.</source>
        <translation>分区 %1 现在是分区 %2 的副本。</translation>
    </message>
    <message>
        <source>The clone took %1.</source>
        <translation>克隆用时 %1。</translation>
    </message>
    <message>
        <source>The clone was cancelled: partition %1 holds no file system now. Clone or restore onto it again before you use it.</source>
        <translation>克隆已取消：分区 %1 现在没有文件系统。使用前请重新克隆或还原到该分区。</translation>
    </message>
</context>
<context>
    <name>ImageHead</name>
    <message>
        <source>The backup image file cannot be opened!</source>
        <translation>无法打开备份镜像文件!</translation>
    </message>
    <message>
        <source>The backup image file is invalid!</source>
        <translation>备份镜像文件无效!</translation>
    </message>
    <message>
        <source>The head of the backup image file is damaged!</source>
        <translation>备份镜像文件的头部已损坏!</translation>
    </message>
</context>
<context>
    <name>PasswordDialog</name>
    <message>
        <source>Please enter the password.</source>
        <translation>请输入密码。</translation>
    </message>
    <message>
        <source>Invalid password. Try again.</source>
        <translation>密码无效，请重试。</translation>
    </message>
    <message>
        <source>User</source>
        <translation>用户名</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>密码</translation>
    </message>
    <message>
        <source>Hint</source>
        <translation>提示</translation>
    </message>
</context>
<context>
    <name>SMBFilesystemItem</name>
    <message>
        <source>Network</source>
        <translation>网络</translation>
    </message>
</context>
<context>
    <name>BrowseForFileDialog</name>
    <message>
        <source>Select a place:</source>
        <translation>选择位置：</translation>
    </message>
    <message>
        <source>Please input a file name:</source>
        <translation>请输入文件名：</translation>
    </message>
    <message>
        <source>File name you select:</source>
        <translation>您选择的文件名：</translation>
    </message>
    <message>
        <source>Select a backup image file (*.bkp)</source>
        <translation>选择备份镜像文件 (*.bkp)</translation>
    </message>
    <message>
        <source>Eject CD-ROM</source>
        <translation>弹出光盘</translation>
    </message>
    <message>
        <source>Connect using username and password</source>
        <translation>使用用户名和密码连接</translation>
    </message>
    <message>
        <source>Please insert next disc %1</source>
        <translation>请插入下一张光盘 %1</translation>
    </message>
    <message>
        <source>Please select a file like </source>
        <translation>请选择如下文件：</translation>
    </message>
    <message>
        <source>Please select a file</source>
        <translation>请选择文件</translation>
    </message>
    <message>
        <source>Error!</source>
        <translation>错误！</translation>
    </message>
    <message>
        <source>You must input a file name as backup file name!</source>
        <translation>您必须输入一个文件名作为备份文件名！</translation>
    </message>
    <message>
        <source>Please select a partition, a folder or a network share!</source>
        <translation>请选择分区、文件夹或网络共享！</translation>
    </message>
    <message>
        <source>Please select a backup image file!</source>
        <translation>请选择备份镜像文件！</translation>
    </message>
    <message>
        <source>A file name must not contain &quot;/&quot;!</source>
        <translation>文件名不能包含“/”！</translation>
    </message>
    <message>
        <source>The selected place cannot be opened!</source>
        <translation>无法打开所选位置！</translation>
    </message>
    <message>
        <source>The server refused the user name or password for %1.</source>
        <translation>服务器拒绝了 %1 的用户名或密码。</translation>
    </message>
    <message>
        <source>Image file dialog</source>
        <translation>镜像文件对话框</translation>
    </message>
    <message>
        <source>Places and files</source>
        <translation>位置和文件</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>RestoreDlg</name>
    <message>
        <source>The image %1 can no longer be read; its partition may have been unmounted. Choose the image again!</source>
        <translation>无法再读取镜像 %1；其所在分区可能已被卸载。请重新选择镜像！</translation>
    </message>
    <message>
        <source>Step 1</source>
        <translation>第一步</translation>
    </message>
    <message>
        <source>choose images</source>
        <translation>选择镜像</translation>
    </message>
    <message>
        <source>Step 2</source>
        <translation>第二步</translation>
    </message>
    <message>
        <source>choose partition</source>
        <translation>选择分区</translation>
    </message>
    <message>
        <source>Step 3</source>
        <translation>第三步</translation>
    </message>
    <message>
        <source>start restore</source>
        <translation>开始还原</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
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
        <source>Password Error</source>
        <translation>密码错误</translation>
    </message>
    <message>
        <source>The password you entered was wrong!</source>
        <translation>您输入的密码错误！</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>You must select a backup type, partition and MBR!</source>
        <translation>您必须选择还原类型：分区或 MBR！</translation>
    </message>
    <message>
        <source>The image is on this partition, choose another one!</source>
        <translation>镜像位于该分区上，请选择其他分区！</translation>
    </message>
    <message>
        <source>This partition fills its whole disk, which has no MBR!</source>
        <translation>该分区占据整个磁盘，该磁盘没有 MBR！</translation>
    </message>
    <message>
        <source>All data on partition %1: will be erased!</source>
        <translation>分区 %1: 上的所有数据都将被清除！</translation>
    </message>
    <message>
        <source>The partition is in use and cannot be unmounted!</source>
        <translation>该分区正在使用，无法卸载！</translation>
    </message>
    <message>
        <source>Are you sure to restore your MBR to your %1 disk!</source>
        <translation>确定要将 MBR 还原到您的 %1 磁盘吗！</translation>
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
        <source>Failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>Restore failed!</source>
        <translation>还原失败！</translation>
    </message>
    <message>
        <source>You must select a backup image file, not a directory!</source>
        <translation>您必须选择一个备份镜像文件，而不是目录！</translation>
    </message>
    <message>
        <source>The file name of a Sorvik backup image ends in &quot;.bkp&quot;!</source>
        <translation>Sorvik 备份镜像的文件名以“.bkp”结尾！</translation>
    </message>
    <message>
        <source>%1 cannot be opened, select the next volume!</source>
        <translation>无法打开 %1，请选择下一个卷！</translation>
    </message>
    <message>
        <source>The restore was cancelled: the partition holds an unfinished restore and must be restored again before it is used.</source>
        <translation>还原已取消：分区中是未完成的还原，使用前必须重新还原。</translation>
    </message>
    <message>
        <source>Restore wizard</source>
        <translation>还原向导</translation>
    </message>
</context>
<context>
    <name>RtWidget1</name>
    <message>
        <source>Select images</source>
        <translation>选择镜像</translation>
    </message>
    <message>
        <source>Image file</source>
        <translation>镜像文件</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>Image info</source>
        <translation>镜像信息</translation>
    </message>
    <message>
        <source>Disk</source>
        <translation>磁盘</translation>
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
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>The file name of a Sorvik backup image ends in &quot;.bkp&quot;!</source>
        <translation>Sorvik 备份镜像的文件名以“.bkp”结尾！</translation>
    </message>
    <message>
        <source>MBR and Track 0</source>
        <translation>MBR 和 0 磁道</translation>
    </message>
    <message>
        <source> </source>
        <translation> </translation>
    </message>
    <message>
        <source>   </source>
        <translation>   </translation>
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
        <source>Disk %1</source>
        <translation>磁盘 %1</translation>
    </message>
    <message>
        <source>Error!</source>
        <translation>错误！</translation>
    </message>
    <message>
        <source>This is not the first volume; select the first volume of the image!</source>
        <translation>这不是第一个卷，请选择镜像的第一个卷！</translation>
    </message>
    <message>
        <source>Image file is corrupted!</source>
        <translation>镜像文件已损坏！</translation>
    </message>
</context>
<context>
    <name>RtWidget2</name>
    <message>
        <source>Select a partition to restore</source>
        <translation>选择要还原的分区</translation>
    </message>
</context>
<context>
    <name>RtWidget3</name>
    <message>
        <source>Check the image before restoring</source>
        <translation>还原前检查镜像</translation>
    </message>
    <message>
        <source>Backup image information</source>
        <translation>备份镜像信息</translation>
    </message>
    <message>
        <source>You must enter the password to restore</source>
        <translation>您必须输入密码才能还原</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>密码</translation>
    </message>
    <message>
        <source>Archive comments</source>
        <translation>镜像注释</translation>
    </message>
</context>
<context>
    <name>BackupDlg</name>
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
        <source>Backup</source>
        <translation>备份</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>Password Error</source>
        <translation>密码错误</translation>
    </message>
    <message>
        <source>You must select a partition to back up!</source>
        <translation>您必须选择一个要备份的分区！</translation>
    </message>
    <message>
        <source>You must select a place to save the backup image!</source>
        <translation>您必须选择保存备份镜像的位置！</translation>
    </message>
    <message>
        <source>The partition you want to back up must be different from the place of the backup image!</source>
        <translation>要备份的分区必须与备份镜像的存放位置不同！</translation>
    </message>
    <message>
        <source>Getting the used size of partition %1 failed. If you are sure the destination has enough space for the backup file,
you can press &quot;Ok&quot; to continue or press &quot;Cancel&quot; to cancel the backup!</source>
        <translation>获取分区 %1 的已用空间失败。如果您确定目标位置有足够的空间保存备份文件，
可以按“确定”继续，或按“取消”取消备份！</translation>
    </message>
    <message>
        <source>Incremental backup is only for NTFS partitions now!</source>
        <translation>目前增量备份仅支持 NTFS 分区！</translation>
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
        <source>The place you chose for the backup image is no longer available. Please choose it again!</source>
        <translation>您为备份镜像选择的位置已不可用，请重新选择！</translation>
    </message>
    <message>
        <source>The destination partition does not have enough space to hold the backup image!</source>
        <translation>目标分区没有足够的空间保存备份镜像！</translation>
    </message>
    <message>
        <source>The password must be empty or at least 6 characters long!</source>
        <translation>密码必须为空或至少 6 个字符！</translation>
    </message>
    <message>
        <source>Your first password input is different from the second!</source>
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
        <source>The destination partition&apos;s file system is unknown!</source>
        <translation>目标分区的文件系统未知！</translation>
    </message>
    <message>
        <source>The old image file %1 cannot be removed!</source>
        <translation>无法删除旧镜像文件 %1！</translation>
    </message>
    <message>
        <source>Backup succeeded!</source>
        <translation>备份成功！</translation>
    </message>
    <message>
        <source>Backup failed!</source>
        <translation>备份失败！</translation>
    </message>
    <message>
        <source>A backup is running. Do you want to cancel it and close?</source>
        <translation>备份正在进行。是否取消备份并关闭？</translation>
    </message>
    <message>
        <source>The backup was cancelled and its unfinished volumes were removed.</source>
        <translation>备份已取消，未完成的卷已删除。</translation>
    </message>
    <message>
        <source>Backup wizard</source>
        <translation>备份向导</translation>
    </message>
</context>
<context>
    <name>BkWidget1</name>
    <message>
        <source>This partition holds an unfinished restore, not a file system: restore it again before you back it up.</source>
        <translation>此分区中是未完成的还原，而不是文件系统：请先重新还原，然后再备份。</translation>
    </message>
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
    <name>BkWidget2</name>
    <message>
        <source>Target backup archive</source>
        <translation>备份镜像的目标位置</translation>
    </message>
    <message>
        <source>Backup location:</source>
        <translation>备份位置：</translation>
    </message>
    <message>
        <source>Backup type</source>
        <translation>备份类型</translation>
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
        <translation>如果要进行增量备份，请单击“浏览”并选择一个已有的备份文件！</translation>
    </message>
    <message>
        <source>If you want to make a full backup of a partition, click &quot;Browse&quot;, select a folder and type the name you want to give your backup!</source>
        <translation>如果要对分区进行完全备份，请单击“浏览”，选择一个文件夹并输入备份的名称！</translation>
    </message>
    <message>
        <source>Please select a folder and type a name for the backup image</source>
        <translation>请选择一个文件夹并输入备份镜像的名称</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>The file you selected is not a valid backup file!</source>
        <translation>您选择的文件不是有效的备份文件！</translation>
    </message>
    <message>
        <source>Where the image goes</source>
        <translation>镜像保存位置</translation>
    </message>
    <message>
        <source>%1 in %2 on %3</source>
        <translation>%3 的 %2 中的 %1</translation>
    </message>
</context>
<context>
    <name>BkWidget3</name>
    <message>
        <source>Backup options</source>
        <translation>备份选项</translation>
    </message>
    <message>
        <source>Don&apos;t turn off your power while your partition is being backed up! Click &quot;Start&quot; to back up your partition!</source>
        <translation>备份分区时请勿关闭电源！单击“开始”备份您的分区！</translation>
    </message>
    <message>
        <source>Archive protection</source>
        <translation>镜像保护</translation>
    </message>
    <message>
        <source>Base password:</source>
        <translation>基础镜像密码：</translation>
    </message>
    <message>
        <source>Password of the image this backup builds on</source>
        <translation>此备份所基于的镜像的密码</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>密码：</translation>
    </message>
    <message>
        <source>Confirm:</source>
        <translation>确认：</translation>
    </message>
    <message>
        <source>Compress level</source>
        <translation>压缩级别</translation>
    </message>
    <message>
        <source>Fast Compress [fast]</source>
        <translation>快速压缩 [快]</translation>
    </message>
    <message>
        <source>Normal Compress [normal]</source>
        <translation>普通压缩 [普通]</translation>
    </message>
    <message>
        <source>High Compress [slow]</source>
        <translation>高度压缩 [慢]</translation>
    </message>
    <message>
        <source>Fixed size</source>
        <translation>固定分卷大小</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>自动</translation>
    </message>
    <message>
        <source>Archive comments</source>
        <translation>镜像注释</translation>
    </message>
    <message>
        <source>2 GB</source>
        <translation>2 GB</translation>
    </message>
    <message>
        <source>4 GB</source>
        <translation>4 GB</translation>
    </message>
    <message>
        <source>8 GB</source>
        <translation>8 GB</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>密码</translation>
    </message>
    <message>
        <source>Confirm password</source>
        <translation>确认密码</translation>
    </message>
</context>
<context>
    <name>FilesystemModel</name>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>类型</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>大小</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>文件夹</translation>
    </message>
    <message>
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Free space</source>
        <translation>可用空间</translation>
    </message>
</context>
<context>
    <name>MountPointItem</name>
    <message>
        <source>CD ROM</source>
        <translation>光驱</translation>
    </message>
</context>
<context>
    <name>ScreenBackground</name>
    <message>
        <source>Start image</source>
        <translation>启动画面</translation>
    </message>
</context>
<context>
    <name>EngineState</name>
    <message>
        <source>Initializing ...</source>
        <translation>正在初始化……</translation>
    </message>
    <message>
        <source>Backing up partition ...</source>
        <translation>正在备份分区……</translation>
    </message>
    <message>
        <source>Restoring partition ...</source>
        <translation>正在还原分区……</translation>
    </message>
    <message>
        <source>Cloning partition ...</source>
        <translation>正在克隆分区……</translation>
    </message>
    <message>
        <source>Checking the image ...</source>
        <translation>正在检查镜像……</translation>
    </message>
    <message>
        <source>Finishing the restore ...</source>
        <translation>正在完成还原……</translation>
    </message>
    <message>
        <source>Partition restored</source>
        <translation>分区已还原</translation>
    </message>
    <message>
        <source>Checking partition ...</source>
        <translation>正在检查分区……</translation>
    </message>
    <message>
        <source>Finished</source>
        <translation>已完成</translation>
    </message>
</context>
</TS>
