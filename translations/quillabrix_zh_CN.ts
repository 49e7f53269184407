<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>AppFolders</name>
    <message>
        <source>cannot create the folder %1</source>
        <translation>无法创建文件夹 %1</translation>
    </message>
    <message>
        <source>cannot copy %1 to %2</source>
        <translation>无法将 %1 复制到 %2</translation>
    </message>
    <message>
        <source>cannot move %1 into place</source>
        <translation>无法将 %1 移到应在的位置</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>A game box that plays Flash games from a game portal.</source>
        <translation>从游戏门户网站取得并运行 Flash 游戏的游戏盒。</translation>
    </message>
    <message>
        <source>The game server&apos;s base URL (http or https; default %1).</source>
        <translation>游戏服务器的基础网址（http 或 https；默认为 %1）。</translation>
    </message>
    <message>
        <source>Try &apos;quillabrix --help&apos;.</source>
        <translation>请运行“quillabrix --help”查看用法。</translation>
    </message>
    <message>
        <source>unexpected argument &apos;%1&apos;</source>
        <translation>无法识别的参数“%1”</translation>
    </message>
    <message>
        <source>--server needs an http:// or https:// URL with a host, not &apos;%1&apos;</source>
        <translation>--server 需要一个带主机名的 http:// 或 https:// 网址，而不是“%1”</translation>
    </message>
    <message>
        <source>Quillabrix Game cannot use its data folder:</source>
        <translation>Quillabrix Game 无法使用其数据文件夹：</translation>
    </message>
    <message>
        <source>Quillabrix Game is already running; --server %1 is ignored. Close the program to use another server.</source>
        <translation>Quillabrix Game 已在运行；已忽略 --server %1。要使用其他服务器，请先关闭程序。</translation>
    </message>
    <message>
        <source>Quillabrix Game is already running, but it does not answer.</source>
        <translation>Quillabrix Game 已在运行，但没有响应。</translation>
    </message>
</context>
<context>
    <name>DownloadList</name>
    <message>
        <source>Downloads</source>
        <translation>下载</translation>
    </message>
    <message>
        <source>Game</source>
        <translation>游戏</translation>
    </message>
    <message>
        <source>State</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>进度</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>速度</translation>
    </message>
    <message>
        <source>Remaining</source>
        <translation>剩余</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>重试</translation>
    </message>
    <message>
        <source>Clear finished</source>
        <translation>清除已完成</translation>
    </message>
    <message>
        <source>&amp;Downloads</source>
        <translation>下载(&amp;D)</translation>
    </message>
    <message>
        <source>Downloads list</source>
        <translation>下载列表</translation>
    </message>
    <message>
        <source>Getting details</source>
        <translation>正在获取详情</translation>
    </message>
    <message>
        <source>Waiting</source>
        <translation>等待中</translation>
    </message>
    <message>
        <source>Downloading</source>
        <translation>正在下载</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>已完成</translation>
    </message>
    <message>
        <source>%1/s</source>
        <translation>%1/秒</translation>
    </message>
</context>
<context>
    <name>DownloadPanel</name>
    <message>
        <source>Download Game:</source>
        <translation>下载游戏：</translation>
    </message>
    <message>
        <source>Connecting ...</source>
        <translation>正在连接……</translation>
    </message>
    <message>
        <source>Download failed</source>
        <translation>下载失败</translation>
    </message>
    <message>
        <source>Download %1/%2K</source>
        <translation>下载 %1/%2K</translation>
    </message>
    <message>
        <source>Downloads list</source>
        <translation>下载列表</translation>
    </message>
    <message>
        <source>Download cancelled</source>
        <translation>下载已取消</translation>
    </message>
</context>
<context>
    <name>FlashPlayer</name>
    <message>
        <source>This file is not a Flash movie.</source>
        <translation>此文件不是 Flash 动画。</translation>
    </message>
    <message>
        <source>This movie is damaged and cannot be played.</source>
        <translation>此动画已损坏，无法播放。</translation>
    </message>
    <message>
        <source>This movie could not be read.</source>
        <translation>无法读取此动画。</translation>
    </message>
    <message>
        <source>This game needs 3D graphics, which the player cannot show with the current graphics settings.</source>
        <translation>此游戏需要 3D 图形，播放器在当前图形设置下无法显示。</translation>
    </message>
    <message>
        <source>This game draws in a way the player cannot show with the current graphics settings.</source>
        <translation>此游戏的绘图方式在当前图形设置下无法由播放器显示。</translation>
    </message>
    <message>
        <source>This game needs the web page it was made for, and stopped without it.</source>
        <translation>此游戏需要它原本所在的网页，因缺少该网页而停止。</translation>
    </message>
    <message>
        <source>The player could not start.</source>
        <translation>播放器无法启动。</translation>
    </message>
    <message>
        <source>This movie stopped with an error.</source>
        <translation>此动画因错误而停止。</translation>
    </message>
</context>
<context>
    <name>Form1</name>
    <message>
        <source>10000+ Free Online Quillabrix Games </source>
        <translation>10000+ 款免费在线 Quillabrix 游戏 </translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>视图(&amp;V)</translation>
    </message>
    <message>
        <source>Fullscreen</source>
        <translation>全屏</translation>
    </message>
    <message>
        <source>Clik to vist official website</source>
        <translation>点击访问官方网站</translation>
    </message>
    <message>
        <source>You can&apos;t use this software without network!</source>
        <translation>没有网络就无法使用本软件！</translation>
    </message>
    <message>
        <source>This game doesn&apos;t exsit.</source>
        <translation>这个游戏不存在。</translation>
    </message>
    <message>
        <source>The file doesn&apos;t exsit.</source>
        <translation>这个文件不存在。</translation>
    </message>
    <message>
        <source>No games, please click Left menu to choose a game type.</source>
        <translation>没有游戏，请点击左边的菜单选择游戏类型。</translation>
    </message>
</context>
<context>
    <name>Form2</name>
    <message>
        <source>Quillabrix Game</source>
        <translation>Quillabrix 游戏</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
</context>
<context>
    <name>GameAcquisition</name>
    <message>
        <source>This game&apos;s number is already used by another game in your library: %1</source>
        <translation>这个游戏的编号已被你游戏库中的另一个游戏使用：%1</translation>
    </message>
</context>
<context>
    <name>GameAdder</name>
    <message>
        <source>There are no Flash movies (.swf) to add.</source>
        <translation>没有可以添加的 Flash 游戏文件（.swf）。</translation>
    </message>
    <message>
        <source>Adding games...</source>
        <translation>正在添加游戏…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>The games could not be recorded in the library.</source>
        <translation>无法把这些游戏记入游戏库。</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1：%2</translation>
    </message>
    <message>
        <source>...and %1 more.</source>
        <translation>……另有 %1 个。</translation>
    </message>
    <message>
        <source>These files were not added:</source>
        <translation>以下文件没有添加：</translation>
    </message>
    <message>
        <source>&amp;Games</source>
        <translation>游戏(&amp;G)</translation>
    </message>
    <message>
        <source>Add games...</source>
        <translation>添加游戏…</translation>
    </message>
    <message>
        <source>Add a folder of games...</source>
        <translation>添加游戏文件夹…</translation>
    </message>
    <message>
        <source>Verify library</source>
        <translation>校验游戏库</translation>
    </message>
</context>
<context>
    <name>GameListModel</name>
    <message>
        <source>ID</source>
        <translation>编号</translation>
    </message>
    <message>
        <source>Game</source>
        <translation>游戏</translation>
    </message>
    <message>
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>简介</translation>
    </message>
</context>
<context>
    <name>LibraryOrganiser</name>
    <message>
        <source>Favourites first</source>
        <translation>收藏优先</translation>
    </message>
    <message>
        <source>Most time played</source>
        <translation>游玩时间最长</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 秒</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 分钟</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 小时 %2 分钟</translation>
    </message>
    <message>
        <source>Favourites</source>
        <translation>收藏</translation>
    </message>
    <message>
        <source>Random game</source>
        <translation>随机游戏</translation>
    </message>
    <message>
        <source>Favourite (Ctrl+D)</source>
        <translation>收藏 (Ctrl+D)</translation>
    </message>
    <message>
        <source>Time played: %1, last time %2</source>
        <translation>游玩时间：%1，上次 %2</translation>
    </message>
</context>
<context>
    <name>LibraryPanel</name>
    <message>
        <source>Newest first</source>
        <translation>最新添加</translation>
    </message>
    <message>
        <source>Recently played</source>
        <translation>最近玩过</translation>
    </message>
    <message>
        <source>Most played</source>
        <translation>最常玩</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Search games</source>
        <translation>搜索游戏</translation>
    </message>
    <message>
        <source>Add games...</source>
        <translation>添加游戏…</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>开始游戏</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>%1 of %2 games</source>
        <translation>%1 个游戏（共 %2 个）</translation>
    </message>
    <message>
        <source>1 game</source>
        <translation>1 个游戏</translation>
    </message>
    <message>
        <source>%1 games</source>
        <translation>%1 个游戏</translation>
    </message>
    <message>
        <source>Never played</source>
        <translation>从未玩过</translation>
    </message>
    <message>
        <source>Played once, last on %1</source>
        <translation>玩过 1 次，最近一次是 %1</translation>
    </message>
    <message>
        <source>Files kept with the game: %1 (%2)</source>
        <translation>随游戏保存的文件：%1 个（%2）</translation>
    </message>
    <message>
        <source>Played %1 times, last on %2</source>
        <translation>玩过 %1 次，最近一次是 %2</translation>
    </message>
    <message>
        <source>Delete &quot;%1&quot; from the library?</source>
        <translation>要从游戏库中删除“%1”吗？</translation>
    </message>
    <message>
        <source>The game could not be deleted: the library cannot be read.</source>
        <translation>无法删除该游戏：无法读取游戏库。</translation>
    </message>
    <message>
        <source>The disk is full, so the game stays in the library. Free some disk space, then delete it again.</source>
        <translation>磁盘已满，该游戏仍留在游戏库中。请释放一些磁盘空间，然后再次删除。</translation>
    </message>
    <message>
        <source>The game could not be deleted: the library cannot be written.</source>
        <translation>无法删除该游戏：无法写入游戏库。</translation>
    </message>
    <message>
        <source>S&amp;aves</source>
        <translation>存档(&amp;A)</translation>
    </message>
    <message>
        <source>Delete the saves of &quot;%1&quot; too? Kept, they come back when the same game is added again.</source>
        <translation>同时删除“%1”的存档吗？保留的存档会在再次添加同一游戏时恢复。</translation>
    </message>
</context>
<context>
    <name>MessageBox</name>
    <message>
        <source>Add games</source>
        <translation>添加游戏</translation>
    </message>
    <message>
        <source>Flash movies (*.swf *.SWF)</source>
        <translation>Flash 游戏文件 (*.swf *.SWF)</translation>
    </message>
    <message>
        <source>Add a folder of games</source>
        <translation>添加游戏文件夹</translation>
    </message>
    <message>
        <source>Quillabrix Game</source>
        <translation>Quillabrix 游戏</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>是(&amp;Y)</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>否(&amp;N)</translation>
    </message>
</context>
<context>
    <name>MovieDownload</name>
    <message>
        <source>not a web address</source>
        <translation>不是网址</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>已取消</translation>
    </message>
    <message>
        <source>what the server sent is not a Flash movie</source>
        <translation>服务器发来的不是 Flash 文件</translation>
    </message>
    <message>
        <source>The server answered %1</source>
        <translation>服务器应答 %1</translation>
    </message>
    <message>
        <source>The server sent no movie</source>
        <translation>服务器没有发来游戏文件</translation>
    </message>
    <message>
        <source>The transfer ended after %1 of %2 bytes</source>
        <translation>传输在 %1 / %2 字节处中断</translation>
    </message>
    <message>
        <source>the movie is larger than %1 bytes</source>
        <translation>游戏文件超过 %1 字节</translation>
    </message>
    <message>
        <source>not enough free disk space: %1 MiB are free</source>
        <translation>磁盘空间不足：只剩 %1 MiB</translation>
    </message>
    <message>
        <source>a redirect that is not followed</source>
        <translation>不跟随的重定向</translation>
    </message>
    <message>
        <source>more than %1 redirects</source>
        <translation>超过 %1 次重定向</translation>
    </message>
    <message>
        <source>the server sent a part of the movie that was not asked for</source>
        <translation>服务器发来了未请求的影片片段</translation>
    </message>
    <message>
        <source>the server sent more than the %1 bytes it announced</source>
        <translation>服务器发送的数据超过了它声明的 %1 字节</translation>
    </message>
</context>
<context>
    <name>MovieImport</name>
    <message>
        <source>not a Flash movie</source>
        <translation>不是 Flash 文件</translation>
    </message>
    <message>
        <source>damaged: its length does not fit</source>
        <translation>已损坏：长度不符</translation>
    </message>
    <message>
        <source>too large</source>
        <translation>文件太大</translation>
    </message>
    <message>
        <source>cannot be read</source>
        <translation>无法读取</translation>
    </message>
    <message>
        <source>not enough disk space</source>
        <translation>磁盘空间不足</translation>
    </message>
    <message>
        <source>cannot be copied</source>
        <translation>无法复制</translation>
    </message>
    <message>
        <source>its name starts with a dot</source>
        <translation>文件名以点开头</translation>
    </message>
    <message>
        <source>its name is not valid UTF-8</source>
        <translation>文件名不是有效的 UTF-8</translation>
    </message>
</context>
<context>
    <name>PlayerControls</name>
    <message>
        <source>&amp;Sound</source>
        <translation>声音(&amp;S)</translation>
    </message>
    <message>
        <source>Volume up</source>
        <translation>增大音量</translation>
    </message>
    <message>
        <source>Volume down</source>
        <translation>减小音量</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>静音</translation>
    </message>
    <message>
        <source>&amp;Quality</source>
        <translation>画质(&amp;Q)</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>低</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>中</translation>
    </message>
    <message>
        <source>High</source>
        <translation>高</translation>
    </message>
    <message>
        <source>Best</source>
        <translation>最佳</translation>
    </message>
</context>
<context>
    <name>PlayerPanel</name>
    <message>
        <source>F6 To Full Screen</source>
        <translation>按 F6 全屏</translation>
    </message>
    <message>
        <source>Rewind</source>
        <translation>倒带</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Forward</source>
        <translation>前进</translation>
    </message>
    <message>
        <source>Full Screen</source>
        <translation>全屏</translation>
    </message>
    <message>
        <source>local Game</source>
        <translation>本地游戏</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>音量</translation>
    </message>
    <message>
        <source>Sound on</source>
        <translation>打开声音</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>静音</translation>
    </message>
</context>
<context>
    <name>SavesActions</name>
    <message>
        <source>The saves of &quot;%1&quot; were imported from %2.</source>
        <translation>“%1”的存档已从 %2 导入。</translation>
    </message>
    <message>
        <source>Every game&apos;s saves were exported to %1.</source>
        <translation>所有游戏的存档已导出到 %1。</translation>
    </message>
    <message>
        <source>The saves of &quot;%1&quot; were exported to %2.</source>
        <translation>“%1”的存档已导出到 %2。</translation>
    </message>
    <message>
        <source>Export saves</source>
        <translation>导出存档</translation>
    </message>
    <message>
        <source>Saves (*.zip)</source>
        <translation>存档 (*.zip)</translation>
    </message>
    <message>
        <source>Import saves</source>
        <translation>导入存档</translation>
    </message>
    <message>
        <source>Saves (*.zip);;All files (*)</source>
        <translation>存档 (*.zip);;所有文件 (*)</translation>
    </message>
    <message>
        <source>Export saves...</source>
        <translation>导出存档…</translation>
    </message>
    <message>
        <source>Import saves...</source>
        <translation>导入存档…</translation>
    </message>
    <message>
        <source>Export all saves...</source>
        <translation>导出全部存档…</translation>
    </message>
    <message>
        <source>%1 saves.zip</source>
        <translation>%1 存档.zip</translation>
    </message>
    <message>
        <source>All saves %1.zip</source>
        <translation>全部存档 %1.zip</translation>
    </message>
    <message>
        <source>&quot;%1&quot; has saves already. Replace them with those in the file?</source>
        <translation>“%1”已有存档。要用文件中的存档替换吗？</translation>
    </message>
    <message>
        <source>No game has saves to export.</source>
        <translation>没有游戏有可导出的存档。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; has no saves to export.</source>
        <translation>“%1”没有可导出的存档。</translation>
    </message>
    <message>
        <source>%1 is not a file of exported saves.</source>
        <translation>%1 不是导出的存档文件。</translation>
    </message>
    <message>
        <source>%1 is damaged: it cannot be read whole, so nothing was imported.</source>
        <translation>%1 已损坏，无法完整读取，因此未导入任何内容。</translation>
    </message>
    <message>
        <source>%1 was written by a newer version of the program. Update the program to import it.</source>
        <translation>%1 由更新版本的程序写入。请更新程序后再导入。</translation>
    </message>
    <message>
        <source>%1 was refused: it names a place outside the game&apos;s saves (%2).</source>
        <translation>%1 被拒绝：其中的名称指向游戏存档之外的位置（%2）。</translation>
    </message>
    <message>
        <source>%1 is too large to be a file of exported saves.</source>
        <translation>%1 太大，不可能是导出的存档文件。</translation>
    </message>
    <message>
        <source>%1 holds no saves of &quot;%2&quot;.</source>
        <translation>%1 中没有“%2”的存档。</translation>
    </message>
    <message>
        <source>%1 holds the saves of another game (&quot;%2&quot;), not of &quot;%3&quot;.</source>
        <translation>%1 中是另一个游戏（“%2”）的存档，而不是“%3”的。</translation>
    </message>
    <message>
        <source>%1 cannot be read.</source>
        <translation>无法读取 %1。</translation>
    </message>
    <message>
        <source>There is no room to keep the saves; those the game had stay.</source>
        <translation>没有空间保存存档；游戏原有的存档保持不变。</translation>
    </message>
    <message>
        <source>The saves could not be written to %1.</source>
        <translation>无法将存档写入 %1。</translation>
    </message>
    <message>
        <source>The saves cannot be reached. Try again.</source>
        <translation>无法访问存档。请重试。</translation>
    </message>
</context>
<context>
    <name>SingleInstance</name>
    <message>
        <source>If it is not running (it may have stopped on another computer), remove %1 and start again.</source>
        <translation>如果它并未运行（可能是在另一台计算机上中止的），请删除 %1 后重新启动。</translation>
    </message>
    <message>
        <source>%1 is a folder, where the program keeps its lock file: remove or rename it and start again.</source>
        <translation>%1 是一个文件夹，而程序要在此处保存锁文件：请删除或重命名它，然后重新启动。</translation>
    </message>
    <message>
        <source>cannot remove %1, which is in the place of the program&apos;s lock file: remove it and start again.</source>
        <translation>无法删除占据程序锁文件位置的 %1：请删除它，然后重新启动。</translation>
    </message>
    <message>
        <source>cannot write to the folder %1</source>
        <translation>无法写入文件夹 %1</translation>
    </message>
</context>
<context>
    <name>VerifyDialog</name>
    <message>
        <source>Download again...</source>
        <translation>重新下载…</translation>
    </message>
    <message>
        <source>Remove missing games...</source>
        <translation>移除缺失的游戏…</translation>
    </message>
    <message>
        <source>Delete unused files...</source>
        <translation>删除无用的文件…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Verify library</source>
        <translation>校验游戏库</translation>
    </message>
    <message>
        <source>Checking the games...</source>
        <translation>正在检查游戏…</translation>
    </message>
    <message>
        <source>Checking the games... %1 of %2</source>
        <translation>正在检查游戏… 第 %1 个，共 %2 个</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>The library cannot be read.</source>
        <translation>无法读取游戏库。</translation>
    </message>
    <message>
        <source>Checking was cancelled. Games checked: %1.</source>
        <translation>检查已取消。已检查的游戏：%1。</translation>
    </message>
    <message>
        <source>%1: the movie is missing</source>
        <translation>%1：影片文件丢失</translation>
    </message>
    <message>
        <source>%1: the movie&apos;s size has changed</source>
        <translation>%1：影片文件的大小已改变</translation>
    </message>
    <message>
        <source>%1: the movie&apos;s content has changed</source>
        <translation>%1：影片文件的内容已改变</translation>
    </message>
    <message>
        <source>%1: the movie cannot be read</source>
        <translation>%1：无法读取影片文件</translation>
    </message>
    <message>
        <source>%1: the picture is missing</source>
        <translation>%1：图片丢失</translation>
    </message>
    <message>
        <source>%1: the file %2 kept with the game is missing</source>
        <translation>%1：随游戏保存的文件 %2 丢失</translation>
    </message>
    <message>
        <source>%1: the file %2 kept with the game has changed</source>
        <translation>%1：随游戏保存的文件 %2 已改变</translation>
    </message>
    <message>
        <source>No game uses %1</source>
        <translation>没有游戏使用 %1</translation>
    </message>
    <message>
        <source>Games checked: %1. No problems found.</source>
        <translation>已检查的游戏：%1。未发现问题。</translation>
    </message>
    <message>
        <source>Games checked: %1. Games with problems: %2. Files no game uses: %3.</source>
        <translation>已检查的游戏：%1。有问题的游戏：%2。没有游戏使用的文件：%3。</translation>
    </message>
    <message>
        <source>...and %1 more.</source>
        <translation>……另有 %1 项。</translation>
    </message>
    <message>
        <source>Download these games again from the game server?</source>
        <translation>要从游戏服务器重新下载这些游戏吗？</translation>
    </message>
    <message>
        <source>Games downloading again: %1</source>
        <translation>正在重新下载的游戏：%1</translation>
    </message>
    <message>
        <source>Remove these games from the library? Their movies are gone.</source>
        <translation>要从游戏库中移除这些游戏吗？它们的影片文件已不存在。</translation>
    </message>
    <message>
        <source>Games removed from the library: %1</source>
        <translation>已从游戏库中移除的游戏：%1</translation>
    </message>
    <message>
        <source>Some games could not be removed from the library.</source>
        <translation>有些游戏无法从游戏库中移除。</translation>
    </message>
    <message>
        <source>Delete these files? No game in the library uses them.</source>
        <translation>要删除这些文件吗？游戏库中没有游戏使用它们。</translation>
    </message>
    <message>
        <source>Unused files deleted: %1</source>
        <translation>已删除的无用文件：%1</translation>
    </message>
    <message>
        <source>These files were not deleted:</source>
        <translation>以下文件未被删除：</translation>
    </message>
</context>
</TS>
