<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>AccountFunctionDialog</name>
    <message>
        <source>    关闭</source>
        <translation>    Close</translation>
    </message>
    <message>
        <source>账户：</source>
        <translation>Account:</translation>
    </message>
    <message>
        <source>免费注册</source>
        <translation>Sign up</translation>
    </message>
    <message>
        <source>记住密码</source>
        <translation>Save password</translation>
    </message>
    <message>
        <source>自动登录</source>
        <translation>Auto login</translation>
    </message>
    <message>
        <source>登录</source>
        <translation>Log in</translation>
    </message>
    <message>
        <source>密码：</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>忘记密码</source>
        <translation>Forgot password</translation>
    </message>
    <message>
        <source>    返回</source>
        <translation>    Back</translation>
    </message>
    <message>
        <source>邮箱：</source>
        <translation>Email:</translation>
    </message>
    <message>
        <source>重复：</source>
        <translation>Repeat:</translation>
    </message>
    <message>
        <source>校验：</source>
        <translation>Code:</translation>
    </message>
    <message>
        <source>&lt;=点击更换验证码</source>
        <translation>&lt;= new code</translation>
    </message>
    <message>
        <source>已熟读并认可Pelorin声明</source>
        <translation>I accept the Pelorin terms</translation>
    </message>
    <message>
        <source>注册</source>
        <translation>Sign up</translation>
    </message>
    <message>
        <source>（忽略大小写）</source>
        <translation>(any case)</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;找回说明：系统会将一段“随机密码”发送到此邮箱，收到后请尽快修改密码！&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;How it works: a random password is sent to this address; change it as soon as it arrives!&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>找回</source>
        <translation>Retrieve</translation>
    </message>
    <message>
        <source>VIP：</source>
        <translation>VIP:</translation>
    </message>
    <message>
        <source>充值/续费</source>
        <translation>Top up / renew</translation>
    </message>
    <message>
        <source>修改密码</source>
        <translation>Change password</translation>
    </message>
    <message>
        <source>注销</source>
        <translation>Log out</translation>
    </message>
    <message>
        <source>原始：</source>
        <translation>Current:</translation>
    </message>
    <message>
        <source>新的：</source>
        <translation>New:</translation>
    </message>
    <message>
        <source>提交</source>
        <translation>Submit</translation>
    </message>
    <message>
        <source>登录账号</source>
        <translation>Log in</translation>
    </message>
    <message>
        <source>找回密码</source>
        <translation>Retrieve password</translation>
    </message>
    <message>
        <source>注册账号</source>
        <translation>Sign up</translation>
    </message>
    <message>
        <source>查看</source>
        <translation>View</translation>
    </message>
    <message>
        <source>用户反馈请关注Pelorin微信公众号：pelorinfans或搜索影迷工坊，有客服为您解决问题</source>
        <translation>Feedback: follow the Pelorin WeChat account pelorinfans (or search for 影迷工坊); our support staff will help you</translation>
    </message>
    <message>
        <source>正在登录...</source>
        <translation>Logging in...</translation>
    </message>
    <message>
        <source>两次填写的新密码不相同，请重新填写！</source>
        <translation>The two new passwords differ. Please enter them again!</translation>
    </message>
    <message>
        <source>修改成功，请重新登录！</source>
        <translation>Password changed. Please log in again!</translation>
    </message>
    <message>
        <source>邮件发送成功，请尽快修改密码！</source>
        <translation>Email sent. Please change your password soon!</translation>
    </message>
    <message>
        <source>两次填写的密码不相同，请重新填写！</source>
        <translation>The two passwords differ. Please enter them again!</translation>
    </message>
    <message>
        <source>请熟读并认可Pelorin声明后再进行注册！</source>
        <translation>Please read and accept the Pelorin terms before you sign up!</translation>
    </message>
    <message>
        <source>注册的邮箱请务必填写本人的，否则密码丢失只能通过邮箱找回。</source>
        <translation>Be sure to sign up with your own email address: a lost password can only be retrieved through it.</translation>
    </message>
    <message>
        <source>警告：若发现近期内重复注册，且没有正当使用，Pelorin有权收回且禁用IP注册账户！</source>
        <translation>Warning: if an address signs up again and again without proper use, Pelorin may withdraw its accounts and bar its IP address from signing up!</translation>
    </message>
</context>
<context>
    <name>BTResourceCollectionListItemWidget</name>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;播放&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Play&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;复制URL&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Copy URL&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;删除&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Delete&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
</context>
<context>
    <name>BTResourceDownloadListItemWidget</name>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;删除&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Delete&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;打开所在文件夹&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Open the folder&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;继续下载&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Resume the download&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>下载中断</source>
        <translation>Interrupted</translation>
    </message>
    <message>
        <source>正在解析</source>
        <translation>Resolving</translation>
    </message>
    <message>
        <source>下载失败</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>下载完成</source>
        <translation>Completed</translation>
    </message>
</context>
<context>
    <name>BTResourceFunctionDialog</name>
    <message>
        <source>    关闭</source>
        <translation>    Close</translation>
    </message>
    <message>
        <source>解析</source>
        <translation>Parse</translation>
    </message>
    <message>
        <source>主力引擎</source>
        <translation>Main engine</translation>
    </message>
    <message>
        <source>vip专线[电信]</source>
        <translation>VIP [Telecom]</translation>
    </message>
    <message>
        <source>vip专线[移动]</source>
        <translation>VIP [Mobile]</translation>
    </message>
    <message>
        <source>vip专线[网通]</source>
        <translation>VIP [Netcom]</translation>
    </message>
    <message>
        <source>vip专线[联通]</source>
        <translation>VIP [Unicom]</translation>
    </message>
    <message>
        <source>vip专线[铁通]</source>
        <translation>VIP [Tietong]</translation>
    </message>
    <message>
        <source>vip专线[长城]</source>
        <translation>VIP [Great Wall]</translation>
    </message>
    <message>
        <source>粘贴磁力链接或BT资源的hash，或点击“浏览”选择种子文件</source>
        <translation>Paste a magnet link or a resource hash, or click &quot;Browse&quot; for a torrent file</translation>
    </message>
    <message>
        <source>浏览</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>举报</source>
        <translation>Report</translation>
    </message>
    <message>
        <source>播放记录</source>
        <translation>Play records</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;随机播放&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Play one at random&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;刷新记录列表&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Refresh the records&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;清空记录列表&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Clear the records&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>收藏</source>
        <translation>Collection</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;收藏当前播放资源&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Collect the resource playing now&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;刷新收藏列表&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Refresh the collection&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>下载</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>选择目录</source>
        <translation>Choose folder</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Abort</translation>
    </message>
    <message>
        <source>解析BT资源成功</source>
        <translation>Resource parsed</translation>
    </message>
    <message>
        <source>请输入有效的BT资源！</source>
        <translation>Please enter a valid resource!</translation>
    </message>
    <message>
        <source>正在解析BT资源...</source>
        <translation>Parsing the resource...</translation>
    </message>
    <message>
        <source>浏览种子文件</source>
        <translation>Open a torrent file</translation>
    </message>
    <message>
        <source>种子文件(*.torrent)</source>
        <translation>Torrent files (*.torrent)</translation>
    </message>
    <message>
        <source>非永久vip不可用！</source>
        <translation>Only for permanent VIP accounts!</translation>
    </message>
    <message>
        <source>重新加载</source>
        <translation>Reload</translation>
    </message>
    <message>
        <source>请先设置下载目录，再重新点击下载。</source>
        <translation>Choose a download folder first, then click download again.</translation>
    </message>
    <message>
        <source>选择下载目录</source>
        <translation>Choose the download folder</translation>
    </message>
</context>
<context>
    <name>BTResourceParseResultListItemWidget</name>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;重新加载&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Reload&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;下载&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Download&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;播放&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Play&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
</context>
<context>
    <name>BTResourcePlayRecordListItemWidget</name>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;播放&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Play&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;删除&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Delete&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>看到 %1</source>
        <translation>Left at %1</translation>
    </message>
</context>
<context>
    <name>BossKey</name>
    <message>
        <source>老板键</source>
        <translation>Boss key</translation>
    </message>
</context>
<context>
    <name>CastMenu</name>
    <message>
        <source>投屏</source>
        <translation>Cast</translation>
    </message>
    <message>
        <source>播放视频后可投屏</source>
        <translation>Play a video to cast it</translation>
    </message>
    <message>
        <source>未找到设备</source>
        <translation>No devices found</translation>
    </message>
    <message>
        <source>投屏组件不可用</source>
        <translation>Casting is not available</translation>
    </message>
    <message>
        <source>正在搜索设备...</source>
        <translation>Searching for devices...</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>停止投屏</source>
        <translation>Stop casting</translation>
    </message>
</context>
<context>
    <name>CastSession</name>
    <message>
        <source>投屏失败：设备已不在网络上</source>
        <translation>Casting failed: the device has left the network</translation>
    </message>
    <message>
        <source>正在投屏到 %1</source>
        <translation>Casting to %1</translation>
    </message>
    <message>
        <source>停止投屏</source>
        <translation>Stop casting</translation>
    </message>
    <message>
        <source>投屏失败：%1</source>
        <translation>Casting failed: %1</translation>
    </message>
    <message>
        <source>未能取得视频地址</source>
        <translation>Could not get the video address</translation>
    </message>
    <message>
        <source>投屏已停止</source>
        <translation>Casting stopped</translation>
    </message>
    <message>
        <source>本地播放</source>
        <translation>Play here</translation>
    </message>
</context>
<context>
    <name>CollectNowPlayingResourceDialog</name>
    <message>
        <source>收藏当前播放资源</source>
        <translation>Collect the resource playing now</translation>
    </message>
    <message>
        <source>请填写收藏的名称！</source>
        <translation>Please give the collection entry a name!</translation>
    </message>
    <message>
        <source>确认输入(O)</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>取消(C)</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>收藏</source>
        <translation>Collect</translation>
    </message>
    <message>
        <source>名称不能为空！</source>
        <translation>The name must not be empty!</translation>
    </message>
</context>
<context>
    <name>ContextMenu</name>
    <message>
        <source>打开URL</source>
        <translation>Open URL</translation>
    </message>
    <message>
        <source>播放记录</source>
        <translation>Play records</translation>
    </message>
    <message>
        <source>资源收藏</source>
        <translation>Collection</translation>
    </message>
    <message>
        <source>视频下载</source>
        <translation>Downloads</translation>
    </message>
    <message>
        <source>软件设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>字幕设置</source>
        <translation>Subtitle settings</translation>
    </message>
    <message>
        <source>视频比例</source>
        <translation>Aspect ratio</translation>
    </message>
    <message>
        <source>声道模式</source>
        <translation>Audio channels</translation>
    </message>
    <message>
        <source>色彩调整</source>
        <translation>Colour adjustment</translation>
    </message>
    <message>
        <source>画质增强</source>
        <translation>Picture enhancement</translation>
    </message>
    <message>
        <source>渲染模式</source>
        <translation>Render mode</translation>
    </message>
    <message>
        <source>进入官网</source>
        <translation>Official website</translation>
    </message>
    <message>
        <source>剧集</source>
        <translation>Episodes</translation>
    </message>
    <message>
        <source>上一集</source>
        <translation>Previous episode</translation>
    </message>
    <message>
        <source>下一集</source>
        <translation>Next episode</translation>
    </message>
    <message>
        <source>自动播放下一集</source>
        <translation>Play the next episode automatically</translation>
    </message>
    <message>
        <source>音轨</source>
        <translation>Audio track</translation>
    </message>
    <message>
        <source>字幕</source>
        <translation>Subtitle</translation>
    </message>
    <message>
        <source>字幕轨道</source>
        <translation>Subtitle track</translation>
    </message>
    <message>
        <source>关闭字幕</source>
        <translation>Subtitles off</translation>
    </message>
    <message>
        <source>播放速度</source>
        <translation>Playback speed</translation>
    </message>
    <message>
        <source>截图</source>
        <translation>Screenshot</translation>
    </message>
</context>
<context>
    <name>DesktopShortcut</name>
    <message>
        <source>Pelorin-观影神器</source>
        <translation>Pelorin</translation>
    </message>
</context>
<context>
    <name>EngineModule</name>
    <message>
        <source>加载播放引擎异常！</source>
        <translation>The playback engine could not be loaded!</translation>
    </message>
</context>
<context>
    <name>LoginReply</name>
    <message>
        <source>%1年%2月%3日</source>
        <translation>%2/%3/%1</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;新手教程&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Tutorial&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;播放记录&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Play records&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;用户&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Account&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;窗口置顶&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Always on top&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;最小化&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Minimise&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;最大化&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Maximise&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;关闭&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Close&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;打开URL&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Open URL&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>   打开URL</source>
        <translation>   Open URL</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;打开种子&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Open a torrent file&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;播放/暂停&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Play / pause&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;停止&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Stop&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;禁音&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Mute&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;视频下载&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Downloads&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;资源收藏&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Collection&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;全屏&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Full screen&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;此桌面不允许程序将窗口置顶&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;This desktop does not let programs keep a window on top&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>禁音</source>
        <translation>Mute</translation>
    </message>
    <message>
        <source>取消禁音</source>
        <translation>Unmute</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;投屏&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Cast&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
</context>
<context>
    <name>OkMessageBox</name>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>PackageInstallerHandOver</name>
    <message>
        <source>无法启动软件包安装程序：%1</source>
        <translation>Cannot start the package installer: %1</translation>
    </message>
    <message>
        <source>软件包未安装：%1</source>
        <translation>The package was not installed: %1</translation>
    </message>
    <message>
        <source>未找到软件包安装程序，请手动安装：%1</source>
        <translation>No package installer found; please install the package by hand: %1</translation>
    </message>
</context>
<context>
    <name>PictureSoundOptions</name>
    <message>
        <source>默认</source>
        <translation>Default</translation>
    </message>
    <message>
        <source>立体声 - 默认</source>
        <translation>Stereo - default</translation>
    </message>
    <message>
        <source>左声道</source>
        <translation>Left channel</translation>
    </message>
    <message>
        <source>右声道</source>
        <translation>Right channel</translation>
    </message>
    <message>
        <source>左右混合</source>
        <translation>Left and right mixed</translation>
    </message>
    <message>
        <source>Overlay - xp默认</source>
        <translation>Overlay - XP default</translation>
    </message>
    <message>
        <source>Renderless - 建议</source>
        <translation>Renderless - recommended</translation>
    </message>
    <message>
        <source>EVR - win7及以上</source>
        <translation>EVR - Windows 7 and later</translation>
    </message>
    <message>
        <source>EVRCP - win7默认</source>
        <translation>EVRCP - Windows 7 default</translation>
    </message>
    <message>
        <source>AVR - win7及以上</source>
        <translation>AVR - Windows 7 and later</translation>
    </message>
</context>
<context>
    <name>PlayRequest</name>
    <message>
        <source>正在解析视频文件hash值...</source>
        <translation>Resolving the file hash...</translation>
    </message>
    <message>
        <source>正在解析视频文件信息...</source>
        <translation>Resolving the file information...</translation>
    </message>
    <message>
        <source>正在筛选视频文件播放地址...</source>
        <translation>Looking for a play address of the file...</translation>
    </message>
    <message>
        <source>筛选视频文件播放地址失败！</source>
        <translation>No play address found for the file!</translation>
    </message>
    <message>
        <source>筛选视频文件播放地址成功，等待播放；如果长时间无法播放，请重试！</source>
        <translation>Play address found, waiting for playback; if it does not start for a long time, please try again!</translation>
    </message>
    <message>
        <source>正在筛选视频文件下载地址...</source>
        <translation>Looking for a download address of the file...</translation>
    </message>
    <message>
        <source>解析视频文件下载地址失败！</source>
        <translation>No download address found for the file!</translation>
    </message>
</context>
<context>
    <name>PlaySession</name>
    <message>
        <source>从 %1 继续播放</source>
        <translation>Resuming at %1</translation>
    </message>
    <message>
        <source>已是最后一集</source>
        <translation>This is the last episode</translation>
    </message>
    <message>
        <source>已是第一集</source>
        <translation>This is the first episode</translation>
    </message>
    <message>
        <source>播放速度：%1×</source>
        <translation>Playback speed: %1×</translation>
    </message>
    <message>
        <source>截图失败</source>
        <translation>Screenshot failed</translation>
    </message>
    <message>
        <source>截图已保存：%1</source>
        <translation>Screenshot saved: %1</translation>
    </message>
</context>
<context>
    <name>PlaybackController</name>
    <message>
        <source>网络连接中断，正在重试…</source>
        <translation>Connection lost, retrying…</translation>
    </message>
    <message>
        <source>网络连接中断</source>
        <translation>Connection lost</translation>
    </message>
    <message>
        <source>正在打开...</source>
        <translation>Opening...</translation>
    </message>
    <message>
        <source>暂停中</source>
        <translation>Paused</translation>
    </message>
    <message>
        <source>正在缓冲%1%...</source>
        <translation>Buffering %1%...</translation>
    </message>
</context>
<context>
    <name>PortableInstall</name>
    <message>
        <source>当前安装不是便携版，无法安装 %1</source>
        <translation>This is not the portable installation; %1 cannot be installed</translation>
    </message>
    <message>
        <source>安装目录不可写：%1</source>
        <translation>The installation folder is not writable: %1</translation>
    </message>
    <message>
        <source>安装包无法解开：%1</source>
        <translation>The package cannot be unpacked: %1</translation>
    </message>
    <message>
        <source>安装包内容不完整</source>
        <translation>The package is incomplete</translation>
    </message>
    <message>
        <source>无法保留安装目录中的文件：%1</source>
        <translation>The files of the installation folder cannot be kept: %1</translation>
    </message>
    <message>
        <source>无法替换安装目录：%1</source>
        <translation>The installation folder cannot be replaced: %1</translation>
    </message>
    <message>
        <source>新版本无法运行：%1</source>
        <translation>The new version does not run: %1</translation>
    </message>
</context>
<context>
    <name>RendererEngine</name>
    <message>
        <source>设备已断开</source>
        <translation>Device disconnected</translation>
    </message>
    <message>
        <source>投屏失败：设备没有开始播放</source>
        <translation>Casting failed: the device did not start playing</translation>
    </message>
    <message>
        <source>投屏失败：视频地址只在本机可用，设备无法访问</source>
        <translation>Casting failed: the video address only works on this computer, the device cannot reach it</translation>
    </message>
    <message>
        <source>投屏失败：%1</source>
        <translation>Casting failed: %1</translation>
    </message>
    <message>
        <source>设备拒绝了这个文件</source>
        <translation>The device refused this file</translation>
    </message>
    <message>
        <source>投屏失败：设备停止了播放</source>
        <translation>Casting failed: the device stopped playing</translation>
    </message>
    <message>
        <source>投屏失败：设备无法播放这个文件</source>
        <translation>Casting failed: the device cannot play this file</translation>
    </message>
</context>
<context>
    <name>ReportDialog</name>
    <message>
        <source>举报</source>
        <translation>Report</translation>
    </message>
    <message>
        <source>暴恐</source>
        <translation>Terror</translation>
    </message>
    <message>
        <source>色情</source>
        <translation>Porn</translation>
    </message>
    <message>
        <source>反动</source>
        <translation>Subversive</translation>
    </message>
    <message>
        <source>血腥</source>
        <translation>Gore</translation>
    </message>
    <message>
        <source>提交</source>
        <translation>Submit</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>ScreenSaverInhibitor</name>
    <message>
        <source>正在播放视频</source>
        <translation>Playing a video</translation>
    </message>
</context>
<context>
    <name>ServiceReply</name>
    <message>
        <source>连接服务器失败！</source>
        <translation>Cannot connect to the server!</translation>
    </message>
    <message>
        <source>服务器返回数据异常！</source>
        <translation>The server sent bad data!</translation>
    </message>
</context>
<context>
    <name>SettingsDialog</name>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>    关闭</source>
        <translation>    Close</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:16pt;&quot;&gt;设置&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:16pt;&quot;&gt;Settings&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>开/关剪贴板监控</source>
        <translation>Watch the clipboard</translation>
    </message>
    <message>
        <source>老板键</source>
        <translation>Boss key</translation>
    </message>
    <message>
        <source>色彩调整</source>
        <translation>Colour adjustment</translation>
    </message>
    <message>
        <source>亮度</source>
        <translation>Brightness</translation>
    </message>
    <message>
        <source>对比度</source>
        <translation>Contrast</translation>
    </message>
    <message>
        <source>饱和度</source>
        <translation>Saturation</translation>
    </message>
    <message>
        <source>色相</source>
        <translation>Hue</translation>
    </message>
    <message>
        <source>恢复默认色彩</source>
        <translation>Default colours</translation>
    </message>
    <message>
        <source>界面语言 / Language</source>
        <translation>Language / 界面语言</translation>
    </message>
    <message>
        <source>硬件解码</source>
        <translation>Hardware decoding</translation>
    </message>
    <message>
        <source>首选字幕语言</source>
        <translation>Subtitle language</translation>
    </message>
    <message>
        <source>中文</source>
        <translation>Chinese</translation>
    </message>
    <message>
        <source>英文</source>
        <translation>English</translation>
    </message>
    <message>
        <source>不自动选择</source>
        <translation>None</translation>
    </message>
</context>
<context>
    <name>StartUp</name>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>检测到Pelorin已运行，请勿多次运行！</source>
        <translation>Pelorin is running already. Please do not start it twice!</translation>
    </message>
    <message>
        <source>询问</source>
        <translation>Question</translation>
    </message>
    <message>
        <source>是(Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>否(N)</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>是否创建快捷方式在您的桌面上，以方便下次访问！</source>
        <translation>Put a shortcut on your desktop, to start Pelorin from there next time?</translation>
    </message>
    <message>
        <source>第一次使用？是否需要观看新手教程？</source>
        <translation>Using Pelorin for the first time? Would you like to watch the tutorial?</translation>
    </message>
    <message>
        <source>更新</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
</context>
<context>
    <name>SubtitleSettingDialog</name>
    <message>
        <source>字幕设置</source>
        <translation>Subtitle settings</translation>
    </message>
    <message>
        <source>    关闭</source>
        <translation>    Close</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:16pt;&quot;&gt;字幕设置&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:16pt;&quot;&gt;Subtitles&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>支持格式：srt ass ssa smi idx sub sup</source>
        <translation>Formats: srt ass ssa smi idx sub sup</translation>
    </message>
    <message>
        <source>浏览本地字幕</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;字幕_向上移动&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Move the subtitles up&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;字幕_向下移动&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Move the subtitles down&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;字幕_向左移动&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Move the subtitles left&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;字幕_向右移动&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Move the subtitles right&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>字幕开关</source>
        <translation>Subtitles</translation>
    </message>
    <message>
        <source>开启</source>
        <translation>On</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>字幕延时</source>
        <translation>Delay</translation>
    </message>
    <message>
        <source>提前</source>
        <translation>Earlier</translation>
    </message>
    <message>
        <source>延迟</source>
        <translation>Later</translation>
    </message>
    <message>
        <source>毫秒(1000=1秒)</source>
        <translation>ms (1000 = 1 s)</translation>
    </message>
    <message>
        <source>字幕大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>7号</source>
        <translation>7</translation>
    </message>
    <message>
        <source>8号</source>
        <translation>8</translation>
    </message>
    <message>
        <source>9号</source>
        <translation>9</translation>
    </message>
    <message>
        <source>10号</source>
        <translation>10</translation>
    </message>
    <message>
        <source>11号</source>
        <translation>11</translation>
    </message>
    <message>
        <source>12号</source>
        <translation>12</translation>
    </message>
    <message>
        <source>13号</source>
        <translation>13</translation>
    </message>
    <message>
        <source>14号</source>
        <translation>14</translation>
    </message>
    <message>
        <source>15号</source>
        <translation>15</translation>
    </message>
    <message>
        <source>16号</source>
        <translation>16</translation>
    </message>
    <message>
        <source>17号</source>
        <translation>17</translation>
    </message>
    <message>
        <source>18号</source>
        <translation>18</translation>
    </message>
    <message>
        <source>19号</source>
        <translation>19</translation>
    </message>
    <message>
        <source>20号</source>
        <translation>20</translation>
    </message>
    <message>
        <source>21号</source>
        <translation>21</translation>
    </message>
    <message>
        <source>22号</source>
        <translation>22</translation>
    </message>
    <message>
        <source>23号</source>
        <translation>23</translation>
    </message>
    <message>
        <source>24号</source>
        <translation>24</translation>
    </message>
    <message>
        <source>25号</source>
        <translation>25</translation>
    </message>
    <message>
        <source>26号</source>
        <translation>26</translation>
    </message>
    <message>
        <source>字幕文件(*.srt *.ass *.ssa *.smi *.idx *.sub *.sup)</source>
        <translation>Subtitle files (*.srt *.ass *.ssa *.smi *.idx *.sub *.sup)</translation>
    </message>
    <message>
        <source>浏览字幕文件</source>
        <translation>Open a subtitle file</translation>
    </message>
</context>
<context>
    <name>TanChuangDialog</name>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;关闭&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Close&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
</context>
<context>
    <name>UpdateDialog</name>
    <message>
        <source>更新</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>去官网</source>
        <translation>Website</translation>
    </message>
    <message>
        <source>开始更新</source>
        <translation>Update now</translation>
    </message>
    <message>
        <source>当前版本：</source>
        <translation>Current version: </translation>
    </message>
    <message>
        <source>服务器版本：</source>
        <translation>Server version: </translation>
    </message>
    <message>
        <source>版本说明：</source>
        <translation>Release notes:</translation>
    </message>
    <message>
        <source>正在下载%1%...</source>
        <translation>Downloading %1%...</translation>
    </message>
    <message>
        <source>正在下载...</source>
        <translation>Downloading...</translation>
    </message>
    <message>
        <source>更新失败！</source>
        <translation>Update failed!</translation>
    </message>
    <message>
        <source>下载完成，即将自动更新。</source>
        <translation>Downloaded; updating now.</translation>
    </message>
</context>
<context>
    <name>Updater</name>
    <message>
        <source>找不到安装包：%1</source>
        <translation>Package not found: %1</translation>
    </message>
    <message>
        <source>不支持的安装包：%1</source>
        <translation>Unsupported package: %1</translation>
    </message>
    <message>
        <source>更新失败！</source>
        <translation>Update failed! </translation>
    </message>
</context>
<context>
    <name>VIPTipDialog</name>
    <message>
        <source>不了，再看看</source>
        <translation>Not now</translation>
    </message>
    <message>
        <source>去充值</source>
        <translation>Get VIP</translation>
    </message>
</context>
<context>
    <name>VideoNotice</name>
    <message>
        <source>从头播放</source>
        <translation>Start over</translation>
    </message>
    <message>
        <source>（Home）</source>
        <translation> (Home)</translation>
    </message>
</context>
</TS>
