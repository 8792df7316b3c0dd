// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "quarnmenuplugin.h"

#include "externalprogram.h"
#include "jsonoutputdialog.h"
#include "outputdialog.h"

#include <dfm-extension/menu/dfmextaction.h>
#include <dfm-extension/menu/dfmextmenu.h>
#include <dfm-extension/menu/dfmextmenuproxy.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <iostream>

namespace QuarnGui {

namespace {
// The action's text and the title of both result windows.
const char kTitle[] = "磁盘使用统计";
} // namespace

QuarnMenuPlugin::QuarnMenuPlugin() : dfmext::DFMExtMenuPlugin(), menuProxy(nullptr)
{
    registerInitialize(std::function<void(dfmext::DFMExtMenuProxy *)>(
        [this](dfmext::DFMExtMenuProxy *proxy) { initialize(proxy); }));
    registerBuildNormalMenu(std::function<bool(dfmext::DFMExtMenu *, const std::string &, const std::string &,
                                               const std::list<std::string> &, bool)>(
        [this](dfmext::DFMExtMenu *main, const std::string &currentUrl, const std::string &focusUrl,
               const std::list<std::string> &urlList,
               bool onDesktop) { return buildNormalMenu(main, currentUrl, focusUrl, urlList, onDesktop); }));
}

QuarnMenuPlugin::~QuarnMenuPlugin() = default;

void QuarnMenuPlugin::initialize(dfmext::DFMExtMenuProxy *proxy)
{
    menuProxy = proxy;
}

bool QuarnMenuPlugin::buildNormalMenu(dfmext::DFMExtMenu *main, const std::string & /*currentUrl*/,
                                      const std::string & /*focusUrl*/, const std::list<std::string> &urlList,
                                      bool /*onDesktop*/)
{
    if (urlList.size() != 1)
        return true;
    // A host that has not handed over its proxy, or cannot make an action,
    // simply gets no entry from us.
    if (!menuProxy)
        return true;

    const std::string path = removeScheme(urlList.front());
    dfmext::DFMExtAction *action = menuProxy->createAction();
    if (!action)
        return true;

    action->setText(kTitle);
    QuarnMenuPlugin *self = this;
    action->registerTriggered(std::function<void(dfmext::DFMExtAction *, bool)>(
        [self, path](dfmext::DFMExtAction *, bool) { self->showQuarnOutput(path); }));
    main->addAction(action);
    return true;
}

std::string QuarnMenuPlugin::removeScheme(const std::string &url)
{
    std::string result = url;
    // A local path is already what we need, even if "://" appears inside it
    // (e.g. a folder named "http:").
    if (!result.empty() && result.front() == '/')
        return result;

    const std::string::size_type separator = result.find("://");
    if (separator == std::string::npos)
        return result;
    const std::string::size_type pathStart = result.find('/', separator + 3);
    if (pathStart == std::string::npos)
        return result;
    return result.substr(pathStart);
}

void QuarnMenuPlugin::showQuarnOutput(const std::string &path)
{
    std::cout << "=== 磁盘使用统计 ===" << std::endl;
    std::cout << "目标路径: " << path << std::endl;

    QProcess process(nullptr);
    const QString program = ExternalProgram::quarn();
    const QStringList arguments{QStringLiteral("-n"), QStringLiteral("13"), QStringLiteral("-j"),
                                QString::fromStdString(path)};
    std::cout << "执行命令: " << program.toStdString() << " "
              << arguments.join(QStringLiteral(" ")).toStdString() << std::endl;

    process.start(program, arguments, QIODeviceBase::ReadWrite);
    if (!process.waitForStarted(5000)) {
        std::cerr << "错误: 无法启动 quarn 命令" << std::endl;
        std::cerr << "错误信息: " << process.errorString().toStdString() << std::endl;
        return;
    }
    std::cout << "命令已成功启动" << std::endl;

    if (!process.waitForFinished(-1)) {
        std::cerr << "错误: 命令执行超时或异常结束" << std::endl;
        std::cerr << "错误信息: " << process.errorString().toStdString() << std::endl;
        return;
    }

    const QByteArray output = process.readAllStandardOutput();
    const QByteArray errors = process.readAllStandardError();
    std::cout << "命令执行完成，退出码: " << process.exitCode() << std::endl;

    if (!output.isEmpty()) {
        std::cout << "=== 标准输出 ===" << std::endl;
        std::cout << output.toStdString() << std::endl;
    }
    if (!errors.isEmpty()) {
        std::cerr << "=== 错误输出 ===" << std::endl;
        std::cerr << errors.toStdString() << std::endl;
    }

    if (!output.isEmpty()) {
        QJsonParseError parseError;
        QJsonDocument::fromJson(output, &parseError);
        if (parseError.error == QJsonParseError::NoError) {
            std::cout << "JSON 格式验证通过，使用树状视图显示" << std::endl;
            JsonOutputDialog dialog(QString::fromUtf8(kTitle), output, nullptr);
            dialog.exec();
            return;
        }
        std::cout << "标准输出不是有效 JSON，显示原始文本" << std::endl;
    }

    QString text = QString::fromLocal8Bit(output);
    if (text.isEmpty())
        text = QString::fromLocal8Bit(errors);
    if (text.isEmpty())
        text = QStringLiteral("命令未返回任何输出");

    OutputDialog dialog(QString::fromUtf8(kTitle), text, nullptr);
    dialog.exec();
}

} // namespace QuarnGui
