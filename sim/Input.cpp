// Keyboard and mouse input: what a key press or a click does to the frontmost
// application's dialog.
#include "sim/Model.h"

#include "platform/InputEvents.h"
#include "platform/linux/LogicSimWire.h"

namespace mq::sim {

namespace keycode = platform::keycode;

namespace {
constexpr std::uint16_t kDeleteKey = 51;
constexpr size_t kMaxRecordedEvents = 2000;

void record(json& list, json entry)
{
    if (list.size() >= kMaxRecordedEvents)
        list.erase(list.begin());
    list.push_back(std::move(entry));
}
} // namespace

std::vector<Token> Model::focusableFields(const Element& window) const
{
    std::vector<Token> fields;
    std::function<void(const Element&)> visit = [&](const Element& e) {
        if (e.focusable && e.token != window.token)
            fields.push_back(e.token);
        for (Token child : e.children)
            if (auto it = m_elements.find(child); it != m_elements.end())
                visit(it->second);
    };
    visit(window);
    return fields;
}

Element* Model::targetDialog()
{
    // Keys go to the frontmost application's key window: its frontmost modal
    // window when it shows one, else its focused window.
    Application* app = frontmostApplication();
    if (!app || app->terminated)
        return nullptr;
    for (Token t : app->windows) {
        Element& w = m_elements[t];
        auto modal = w.find("AXModal");
        if (modal && *modal && (*modal)->get<bool>() && *(*modal)->get<bool>())
            return &w;
    }
    return app->focusedWindow ? element(app->focusedWindow) : nullptr;
}

void Model::moveFocus(Element& dialog, bool backwards)
{
    auto fields = focusableFields(dialog);
    if (fields.empty())
        return;
    Token previous = dialog.focusedField;
    auto it = std::find(fields.begin(), fields.end(), previous);
    size_t index = it == fields.end() ? 0 : static_cast<size_t>(it - fields.begin());
    if (it != fields.end())
        index = backwards ? (index + fields.size() - 1) % fields.size() : (index + 1) % fields.size();
    dialog.focusedField = fields[index];
    if (Element* field = element(previous)) {
        field->selectAll = false;
        if (auto b = m_behaviors.find(dialog.behavior); b != m_behaviors.end())
            b->second->fieldCommitted(*this, dialog, *field);
    }
}

void Model::typeText(Element& dialog, const std::string& text)
{
    Element* field = element(dialog.focusedField);
    if (!field)
        return;
    auto slot = field->find("AXValue");
    std::string value;
    if (slot && *slot && (*slot)->get<std::string>())
        value = *(*slot)->get<std::string>();
    // A field whose whole text is selected is replaced by the next typing.
    if (field->selectAll) {
        value.clear();
        field->selectAll = false;
    }
    field->set("AXValue", CFValue(value + text));
}

void Model::keyboard(const json& request)
{
    auto virtualKey = request.value("virtualKey", std::uint16_t(0));
    bool keyDown = request.value("keyDown", true);
    auto text = request.value("text", "");
    auto flags = request.value("flags", std::uint64_t(0));
    Element* dialog = targetDialog();
    json entry { { "virtualKey", virtualKey }, { "keyDown", keyDown }, { "text", text }, { "flags", flags } };
    if (dialog)
        entry["window"] = dialog->key.empty() ? json(dialog->token) : json(dialog->key);
    record(m_keyEvents, entry);
    if (!keyDown || !dialog)
        return;

    bool command = flags & platform::eventflags::command;
    if (virtualKey == keycode::tab) {
        moveFocus(*dialog, flags & platform::eventflags::shift);
    } else if (virtualKey == keycode::returnKey) {
        auto button = dialog->find("AXDefaultButton");
        Element* target = button && *button && (*button)->get<platform::AXElementRef>() ? element((*button)->get<platform::AXElementRef>()->token) : nullptr;
        if (target)
            perform(*target, "AXPress", false);
        else if (dialog->find("AXModal"))
            closeDialog(*dialog, true);
    } else if (virtualKey == keycode::escape) {
        auto button = dialog->find("AXCancelButton");
        Element* target = button && *button && (*button)->get<platform::AXElementRef>() ? element((*button)->get<platform::AXElementRef>()->token) : nullptr;
        if (target)
            perform(*target, "AXPress", false);
        else
            closeDialog(*dialog, false);
    } else if (virtualKey == kDeleteKey && !command) {
        if (Element* field = element(dialog->focusedField)) {
            auto slot = field->find("AXValue");
            if (slot && *slot && (*slot)->get<std::string>()) {
                std::string value = *(*slot)->get<std::string>();
                if (field->selectAll)
                    value.clear();
                else if (!value.empty())
                    value.pop_back();
                field->selectAll = false;
                field->set("AXValue", CFValue(value));
            }
        }
    } else if (command && (text == "a" || (text.empty() && virtualKey == keycode::ansiA))) {
        if (Element* field = element(dialog->focusedField))
            field->selectAll = true;
    } else if (!command && !text.empty()) {
        typeText(*dialog, text);
    }
}

void Model::mouse(const json& request)
{
    auto type = request.value("type", "mouseMoved");
    double x = request.value("x", 0.0), y = request.value("y", 0.0);
    m_cursor = { x, y };
    json entry { { "type", type }, { "x", x }, { "y", y }, { "flags", request.value("flags", std::uint64_t(0)) } };
    // A click presses the button under the cursor in the frontmost application.
    if (type == "leftMouseUp") {
        if (Application* app = frontmostApplication()) {
            if (Token hit = hitTest(app->windows, x, y)) {
                Element& e = m_elements[hit];
                entry["element"] = e.key.empty() ? json(e.token) : json(e.key);
                if (std::find(e.actions.begin(), e.actions.end(), "AXPress") != e.actions.end())
                    perform(e, "AXPress", false);
            }
        }
    }
    record(m_mouseEvents, entry);
}

} // namespace mq::sim
