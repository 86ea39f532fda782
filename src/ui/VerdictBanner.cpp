#include "VerdictBanner.h"

#include <cmath>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>

#include "NightMode.h"
#include "Supervisor.h"

namespace {

const QColor SafeColour(40, 160, 60);
const QColor UnsafeColour(200, 30, 30);
const QColor WarningColour(255, 225, 70); // readable on both verdict colours

QLabel* BannerLabel(const char* name, double scale, bool bold) {
    auto* label = new QLabel;
    label->setObjectName(name);
    QFont f = label->font();
    f.setPointSizeF(f.pointSizeF() * scale);
    f.setBold(bold);
    label->setFont(f);
    label->setWordWrap(true);
    return label;
}

// "45 s", "3 min 20 s", "2 h 05 min".
QString Duration(double seconds) {
    const long long s = std::llround(std::max(0.0, seconds));
    if (s < 60) return QStringLiteral("%1 s").arg(s);
    if (s < 3600) return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60, 2, 10, QChar('0'));
    if (s < 86400 * 2) return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s / 60 % 60, 2, 10, QChar('0'));
    return TVerdictBanner::tr("%1 jours").arg(s / 86400);
}

} // namespace

TVerdictBanner::TVerdictBanner(Supervisor& supervisor, TSafetyRules rules, QWidget* parent)
    : QFrame(parent), supervisor_(supervisor), follower_(rules), clock_([] { return Now(); }) {
    setObjectName("VerdictBanner");
    // One line: the tab must keep the window's smallest size.
    setFrameStyle(QFrame::NoFrame);
    setAutoFillBackground(true);
    verdict_ = BannerLabel("VerdictText", 1.2, true);
    verdict_->setWordWrap(false);
    reasons_ = BannerLabel("VerdictReasons", 1.0, true);
    reasons_->setWordWrap(false);
    reasons_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    since_ = BannerLabel("VerdictSince", 0.9, false);
    since_->setWordWrap(false);
    age_ = BannerLabel("VerdictAge", 0.9, true);
    age_->setWordWrap(false);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 0, 8, 0);
    grid->setHorizontalSpacing(12);
    grid->addWidget(verdict_, 0, 0);
    grid->addWidget(reasons_, 0, 1);
    grid->addWidget(since_, 0, 2);
    grid->addWidget(age_, 0, 3);
    grid->setColumnStretch(1, 1);

    Supervisor* s = &supervisor_;
    connect(s, &Supervisor::readingProcessed, this, [this](const TcapteursInfos& r, const TConditions& c) {
        follower_.OnReading(r, c);
        Refresh();
    });
    connect(s, &Supervisor::stationLinkChanged, this, [this](bool lost) {
        follower_.OnLinkState(lost);
        Refresh();
    });
    connect(s, &Supervisor::relayChanged, this, &TVerdictBanner::Refresh);
    connect(s, &Supervisor::readingLabelsChanged, this, &TVerdictBanner::Refresh); // every second
    follower_.OnLinkState(supervisor_.StationLinkLost());
    Refresh();
}

void TVerdictBanner::SetClock(std::function<TDateTime()> clock) {
    clock_ = std::move(clock);
    Refresh();
}

QString TVerdictBanner::VerdictText() const {
    return follower_.IsSafe() ? tr("SÛR") : tr("NON SÛR");
}

QString TVerdictBanner::ReasonsText() const {
    if (follower_.IsSafe()) return tr("toutes les conditions sont réunies");
    return QString::fromStdString(UnsafeReasonsText(follower_.Monitor()));
}

QString TVerdictBanner::SinceText() const {
    if (follower_.Since() == 0) return {};
    return tr("depuis %1").arg(QString::fromStdString(DateTimeText(follower_.Since())));
}

bool TVerdictBanner::AgeWarning() const {
    const auto age = follower_.ReadingAgeSeconds(clock_());
    return follower_.Inputs().LinkLost || !age || *age > StaleReadingSeconds;
}

QString TVerdictBanner::AgeText() const {
    if (follower_.Inputs().LinkLost) return tr("liaison perdue");
    const auto age = follower_.ReadingAgeSeconds(clock_());
    if (!age) return tr("aucune mesure");
    const QString text = tr("mesure d'il y a %1").arg(Duration(*age));
    return *age > StaleReadingSeconds ? tr("%1 : trop ancienne").arg(text) : text;
}

void TVerdictBanner::Refresh() {
    follower_.OnRoofClosed(supervisor_.Published().Values().RoofCloseRequested);
    follower_.Update(clock_());
    verdict_->setText(VerdictText());
    reasons_->setText(ReasonsText());
    reasons_->setToolTip(ReasonsText()); // whole, when the line cuts it
    since_->setText(SinceText());
    age_->setText(AgeText());
    Repaint();
}

void TVerdictBanner::Repaint() {
    const QColor verdictColour = follower_.IsSafe() ? SafeColour : UnsafeColour;
    QPalette p = NightMode::Active() ? NightMode::Palette() : QPalette();
    p.setColor(QPalette::Window, NightMode::Shown(verdictColour).darker(NightMode::Active() ? 250 : 100));
    p.setColor(QPalette::WindowText,
               NightMode::Active() ? NightMode::Palette().color(QPalette::WindowText) : QColor(Qt::white));
    setPalette(p);
    QPalette agePalette = p;
    if (AgeWarning() && !NightMode::Active()) agePalette.setColor(QPalette::WindowText, WarningColour);
    age_->setPalette(agePalette);
    update();
}

void TVerdictBanner::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) Refresh();
}
