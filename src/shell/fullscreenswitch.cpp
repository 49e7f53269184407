#include "shell/fullscreenswitch.h"

#include "player/flashplayer.h"
#include "player/form2.h"
#include "player/playerpanel.h"

FullScreenSwitch::FullScreenSwitch(QWidget *mainWindow, PlayerPanel *panel) : m_window(mainWindow), m_panel(panel) {}

FullScreenSwitch::~FullScreenSwitch()
{
    if (m_form2)
        m_panel->takePlayerBack(m_form2->takePlayer(), false);
}

void FullScreenSwitch::load(const QString &filesFolder, const QList<QAction *> &actions)
{
    m_form2 = std::make_unique<Form2>(filesFolder);
    m_form2->Form_Load();
    connect(m_form2.get(), &Form2::leavingFullScreen, this, &FullScreenSwitch::comeBack);
    m_form2->addActions(actions);
}

bool FullScreenSwitch::isOn() const
{
    return m_form2 && m_form2->Flash1;
}

void FullScreenSwitch::enter()
{
    m_form2->showPlayer(m_panel->lendPlayer());
    m_form2->showMaximized();
    m_window->hide();
}

void FullScreenSwitch::leave()
{
    if (isOn())
        m_form2->b_exit_Click();
}

void FullScreenSwitch::comeBack()
{
    m_panel->takePlayerBack(m_form2->takePlayer(), !m_panel->isHidden());
    m_window->show();
    emit left();
}

void FullScreenSwitch::release()
{
    if (!m_form2)
        return;
    m_panel->takePlayerBack(m_form2->takePlayer(), false);
    m_form2->unload();
}
