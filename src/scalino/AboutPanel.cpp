#include "scalino/AboutPanel.h"

#include <QTextBrowser>
#include <QVBoxLayout>

#include "scalino/OpenHyperlinkInBrowser.h"
#include "scalino/QtText.h"
#include "util/ProcessProperties.h"

namespace scalino {
namespace {

std::string versionLine() {
    auto property = [](const char* name) { return ProcessProperties::get(name, ""); };
    return "Version " + property("VERSION") + " " + property("RELEASEDATE") + " " +
           property("RS_OSNAME") + " " + property("RS_OSARCH") + "\n";
}

}  // namespace

AboutPanel::AboutPanel(QWidget* parent) : QWidget(parent), aboutPane_(new QTextBrowser) {
    setObjectName("aboutPanel");
    aboutPane_->setObjectName("aboutPane");
    aboutPane_->setHtml(windowText("VozevuZaDezFrame2.aboutPane.text") + "<p>" +
                        toQString(versionLine()).toHtmlEscaped() + "</p>");
    OpenHyperlinkInBrowser::connectLinks(aboutPane_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(aboutPane_);
}

}  // namespace scalino
