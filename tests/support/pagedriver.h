#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>
#include <optional>

// Drives a web view's page as a user (and a test) would: runs a script and waits for its value, and clicks
// an element of the page with the mouse.
namespace pagedriver {

constexpr int timeoutMs = 30000;

inline QVariant evaluate(QWebEngineView *view, const QString &script)
{
    auto result = std::make_shared<std::optional<QVariant>>();
    view->page()->runJavaScript(script, [result](const QVariant &value) { *result = value; });
    (void)QTest::qWaitFor([&] { return result->has_value(); }, timeoutMs);
    return result->value_or(QVariant());
}

// The text as a JavaScript string literal.
inline QString jsString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// Waits, for at most a few seconds, until the page has drawn two frames: a page that has loaded but not drawn
// yet may drop the mouse events sent to it. A page that is not shown draws none and is not waited for longer.
inline void waitForFrames(QWebEngineView *view)
{
    evaluate(view, QStringLiteral("window.qbFramesDrawn = false; requestAnimationFrame(() => "
                                  "requestAnimationFrame(() => { window.qbFramesDrawn = true; })); true"));
    (void)QTest::qWaitFor([&] { return evaluate(view, QStringLiteral("window.qbFramesDrawn === true")).toBool(); },
                          3000);
}

// Clicks, with the mouse, the element of the page that selector finds; false when there is none.
inline bool clickElement(QWebEngineView *view, const QString &selector, Qt::MouseButton button = Qt::LeftButton)
{
    waitForFrames(view);
    const QVariantList centre =
        evaluate(view, QStringLiteral("(function () { const e = document.querySelector(%1); if (!e) return null;"
                                      " e.scrollIntoView({block: 'center'}); const r = e.getBoundingClientRect();"
                                      " return [Math.round(r.left + r.width / 2), Math.round(r.top + r.height / 2)];"
                                      " })()")
                           .arg(jsString(selector)))
            .toList();
    QWidget *input = view->focusProxy();
    if (centre.size() != 2 || !input)
        return false;
    const QPoint at(centre.at(0).toInt(), centre.at(1).toInt());
    QTest::mouseMove(input, at);
    QTest::mousePress(input, button, {}, at);
    QTest::mouseRelease(input, button, {}, at);
    return true;
}

} // namespace pagedriver
