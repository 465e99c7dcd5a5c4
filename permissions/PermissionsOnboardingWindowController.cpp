#include "permissions/PermissionsOnboardingWindowController.h"

#include "permissions/OnboardingAppearance.h"
#include "permissions/OnboardingContent.h"
#include "permissions/PermissionRowView.h"

#include <QGuiApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

namespace mq::permissions {

namespace {

using namespace content;

QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The top-level window; tells the controller when it closes or is shown, as a
// window delegate would.
class OnboardingWindow final : public QWidget {
public:
    std::function<void()> willClose;
    std::function<void()> didShow;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        QWidget::closeEvent(event);
        if (event->isAccepted() && willClose)
            willClose();
    }
    void showEvent(QShowEvent* event) override
    {
        QWidget::showEvent(event);
        if (didShow)
            didShow();
    }
};

QLabel* makeLabel(const QString& text, const QFont& font, QPalette::ColorRole colorRole, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setForegroundRole(colorRole);
    return label;
}

QLabel* makeWrappingLabel(const QString& text, const QFont& font, QPalette::ColorRole colorRole, QWidget* parent)
{
    auto* label = makeLabel(text, font, colorRole, parent);
    label->setWordWrap(true);
    return label;
}

// QBoxLayout puts its spacing before each item that follows another; a spacer
// item gets none of its own, so this makes the gap after the last item `gap`.
void addCustomSpacing(QBoxLayout& layout, int gap)
{
    layout.addSpacing(gap - layout.spacing());
}

} // namespace

PermissionsOnboardingWindowController::PermissionsOnboardingWindowController(
    OnboardingPermissions& permissions, std::function<void()> onClose)
    : m_flow(permissions)
    , m_onClose(std::move(onClose))
{
    build();
    // Observed before the first refresh: when that refresh closes the window,
    // the close stops the observation instead of leaving it behind.
    observeActivation();
    refresh();
}

PermissionsOnboardingWindowController::~PermissionsOnboardingWindowController()
{
    stopObservingActivation();
    auto* window = static_cast<OnboardingWindow*>(m_window.get());
    window->willClose = nullptr;
    window->didShow = nullptr;
}

void PermissionsOnboardingWindowController::build()
{
    auto window = std::make_unique<OnboardingWindow>();
    window->willClose = [this] { windowWillClose(); };
    window->didShow = [this] { windowDidShow(); };
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window->setWindowTitle(toQString(kWindowTitle));
    window->setObjectName(QStringLiteral("onboardingWindow"));

    auto* stack = new QVBoxLayout(window.get());
    stack->setContentsMargins(kSideMargin, kTopMargin, kSideMargin, kBottomMargin);
    stack->setSpacing(kStackSpacing);

    auto* heading = makeLabel(toQString(kHeading), appearance::titleFont(),
        appearance::kLabelColorRole, window.get());
    heading->setObjectName(QStringLiteral("heading"));
    stack->addWidget(heading, 0, Qt::AlignLeft);

    auto* body = makeWrappingLabel(toQString(kBody),
        appearance::bodyFont(), appearance::kSecondaryLabelColorRole, window.get());
    body->setObjectName(QStringLiteral("body"));
    stack->addWidget(body);
    addCustomSpacing(*stack, kSectionSpacing);

    QPointer<PermissionsOnboardingWindowController> weakSelf(this);
    for (size_t i = 0; i < kAllPermissionKinds.size(); ++i) {
        auto* row = new PermissionRowView(kAllPermissionKinds[i], window.get());
        // Weak: a row, or a copy of its handler, never keeps the controller alive
        // nor calls into one that is gone.
        row->setOnGrant([weakSelf](PermissionKind kind) {
            if (weakSelf)
                weakSelf->grantTapped(kind);
        });
        stack->addWidget(row);
        m_rows[i] = row;
    }
    addCustomSpacing(*stack, kSectionSpacing);

    auto* footnote = makeWrappingLabel(toQString(kFootnote),
        appearance::footnoteFont(), appearance::kSecondaryLabelColorRole, window.get());
    footnote->setObjectName(QStringLiteral("footnote"));
    stack->addWidget(footnote);

    m_openSettingsButton = new QPushButton(toQString(kOpenSettingsButton), window.get());
    m_openSettingsButton->setAutoDefault(false);
    m_doneButton = new QPushButton(toQString(kDoneButton), window.get());
    m_doneButton->setDefault(true);
    connect(m_openSettingsButton, &QPushButton::clicked, this, [this] { openSettingsTapped(); });
    connect(m_doneButton, &QPushButton::clicked, this, [this] { doneTapped(); });
    // Return (and Enter) press the default button wherever the focus is, as in
    // a macOS window; Qt gives default buttons that key only inside dialogs.
    for (auto key : { Qt::Key_Return, Qt::Key_Enter })
        new QShortcut(QKeySequence(key), window.get(), m_doneButton, [button = m_doneButton] { button->click(); });

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(kButtonSpacing);
    buttons->addStretch(1);
    buttons->addWidget(m_openSettingsButton);
    buttons->addWidget(m_doneButton);
    stack->addLayout(buttons);

    m_window = std::move(window);
    fitWindowToContent();
    if (auto* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), m_window->size());
        frame.moveCenter(screen->availableGeometry().center());
        m_window->move(frame.topLeft());
    }
}

void PermissionsOnboardingWindowController::fitWindowToContent()
{
    // The content is 520 wide and as tall as the stack needs at that width (its
    // height for width includes the 24 + 20 of the margins). A row that swaps
    // its button for the badge may wrap its description differently, so this
    // runs again after each refresh; the window keeps its top-left corner.
    QLayout* stack = m_window->layout();
    stack->invalidate();
    int height = stack->hasHeightForWidth() ? stack->heightForWidth(kContentWidth) : stack->sizeHint().height();
    m_window->setFixedSize(kContentWidth, height);
    stack->activate();
}

void PermissionsOnboardingWindowController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void PermissionsOnboardingWindowController::refresh()
{
    auto states = m_flow.refresh(m_open);
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        m_rows[i]->setGranted(states.granted[i]);
    m_allGranted = states.allGranted;
    fitWindowToContent();
    if (states.allGranted && m_open)
        m_window->close();
}

void PermissionsOnboardingWindowController::grantTapped(PermissionKind kind)
{
    m_flow.grant(kind);
    refresh();
}

void PermissionsOnboardingWindowController::openSettingsTapped()
{
    m_flow.openSettings();
}

void PermissionsOnboardingWindowController::doneTapped()
{
    m_window->close();
}

void PermissionsOnboardingWindowController::appBecameActive()
{
    refresh();
}

void PermissionsOnboardingWindowController::windowWillClose()
{
    // Qt sends a close event even to a window that is already closed; one close
    // is one onClose.
    if (!m_open)
        return;
    m_open = false;
    stopObservingActivation();
    if (m_onClose)
        m_onClose();
}

void PermissionsOnboardingWindowController::windowDidShow()
{
    // Shown again after a close: it is open and follows activation once more.
    m_open = true;
    observeActivation();
}

void PermissionsOnboardingWindowController::observeActivation()
{
    if (m_activationConnection)
        return;
    m_activationConnection = connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            appBecameActive();
    });
}

void PermissionsOnboardingWindowController::stopObservingActivation()
{
    if (m_activationConnection)
        disconnect(m_activationConnection);
    m_activationConnection = {};
}

} // namespace mq::permissions
