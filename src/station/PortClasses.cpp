#include "station/PortClasses.h"

#include <algorithm>

TPortArray* PortArray = nullptr;

namespace {

const char* const kPortTypeNames[] = {
    "Debug",        "Mux",           "Serial",    "Analog",   "AnalogDiff",
    "DigitalInput", "DigitalOutput", "Frequency", "PCSerial", "NoPortType",
};

int ClampPosition(int position) { return std::clamp(position, 0, kHighestSwitch); }

}  // namespace

TPortType PortTypeFromName(const QString& name)
{
    for (int i = 0; i < static_cast<int>(TPortType::NoPortType); ++i) {
        if (name == QLatin1String(kPortTypeNames[i])) {
            return static_cast<TPortType>(i);
        }
    }
    return TPortType::NoPortType;
}

QString PortTypeName(TPortType type)
{
    return QLatin1String(kPortTypeNames[static_cast<int>(type)]);
}

TPort::TPort(TPortArray& owner, const QString& name, const QString& connector, int hostChannel,
             int serialPort, int secondPowerSwitch, int powerSwitch, TPortType type)
    : owner_(owner),
      name_(name),
      connector_(connector),
      type_(type),
      powerSwitch_(powerSwitch),
      secondPowerSwitch_(secondPowerSwitch),
      serialPort_(serialPort),
      hostChannel_(hostChannel)
{
}

bool TPort::TestAndClearActivity(bool clear)
{
    const bool active = activity_ != 0;
    if (clear) {
        activity_ = 0;
    }
    return active;
}

TPortArray::TPortArray(int capacity)
{
    ports_.reserve(static_cast<size_t>(std::max(capacity, 0)));
    for (int i = 0; i < kSwitchCount; ++i) {
        order_[static_cast<size_t>(i)] = i;
    }
    heads_.fill(nullptr);
    counts_.fill(0);
    delays_.fill(kDefaultPowerOnDelayTicks);
}

TPortArray::~TPortArray()
{
    for (auto it = ports_.rbegin(); it != ports_.rend(); ++it) {
        delete *it;
    }
}

TPort* TPortArray::AddPort(const QString& name, const QString& connector, int hostChannel,
                           int serialPortNumber, int secondPowerSwitch, int powerSwitch,
                           const QString& typeName)
{
    auto* port = new TPort(*this, name, connector, hostChannel, serialPortNumber, secondPowerSwitch,
                           powerSwitch, PortTypeFromName(typeName));
    LinkPowerGroup(port);
    ports_.push_back(port);
    return port;
}

TPort* TPortArray::AddPCPort(int number)
{
    const QString name = QStringLiteral("COM%1:").arg(number);
    return AddPort(name, QStringLiteral("PC ") + name, number, number, 0, 0,
                   PortTypeName(TPortType::PCSerial));
}

void TPortArray::LinkPowerGroup(TPort* port)
{
    if (!port->HasPowerSwitch()) {
        return;
    }
    const auto s = static_cast<size_t>(port->powerSwitch_);
    ++counts_[s];
    TPort* head = heads_[s];
    if (head == nullptr) {
        heads_[s] = port;
    } else {
        port->next_ = head->next_;
        head->next_ = port;
    }
    highestSwitch_ = std::max(highestSwitch_, port->powerSwitch_);
}

void TPortArray::UnlinkPowerGroup(TPort* port)
{
    if (!port->HasPowerSwitch()) {
        return;
    }
    const auto s = static_cast<size_t>(port->powerSwitch_);
    TPort* pred = port;
    while (pred->next_ != port) {
        pred = pred->next_;
    }
    if (pred == port) {
        heads_[s] = nullptr;
    } else {
        pred->next_ = port->next_;
        // The ring reads head, newest ... oldest: the port before the head is the earliest
        // of the others, so it becomes the head and the order of the rest is kept.
        if (heads_[s] == port) {
            heads_[s] = pred;
        }
    }
    port->next_ = port;
    --counts_[s];
    highestSwitch_ = 0;
    for (int i = kHighestSwitch; i > 0; --i) {
        if (counts_[static_cast<size_t>(i)] > 0) {
            highestSwitch_ = i;
            break;
        }
    }
}

void TPortArray::RemovePort(const QString& name)
{
    TPort* port = FindPort(name);
    if (port == nullptr || !port->IsPCSerial() || port->GetDevice() != nullptr) {
        return;
    }
    UnlinkPowerGroup(port);
    ports_.erase(std::find(ports_.begin(), ports_.end(), port));
    delete port;
}

TPort* TPortArray::FindPort(const QString& name) const
{
    for (auto it = ports_.rbegin(); it != ports_.rend(); ++it) {
        if ((*it)->GetName() == name) {
            return *it;
        }
    }
    return nullptr;
}

TPort* TPortArray::Get(int index) const
{
    if (index < 0 || index >= Count()) {
        return nullptr;
    }
    return ports_[static_cast<size_t>(index)];
}

TPort* TPortArray::FirstFreePort() const
{
    for (TPort* port : ports_) {
        if (port->GetDevice() == nullptr) {
            return port;
        }
    }
    return nullptr;
}

int TPortArray::GetPowerOnPriority(const TPort* port) const
{
    if (port == nullptr || !port->HasPowerSwitch()) {
        return 0;
    }
    const auto it = std::find(order_.begin(), order_.end(), port->GetPowerSwitch());
    return it == order_.end() ? 0 : static_cast<int>(it - order_.begin());
}

int TPortArray::SetPowerOnPriority(const TPort* port, int position)
{
    if (port == nullptr || !port->HasPowerSwitch() || port->GetPowerSwitch() == 0) {
        return 0;
    }
    position = ClampPosition(position);
    const int from = GetPowerOnPriority(port);
    // Take the switch out and put it back at its new place; the others keep their order.
    if (from < position) {
        std::rotate(order_.begin() + from, order_.begin() + from + 1,
                    order_.begin() + position + 1);
    } else if (from > position) {
        std::rotate(order_.begin() + position, order_.begin() + from, order_.begin() + from + 1);
    }
    return position;
}

void TPortArray::ApplyPowerOnPositions(const std::vector<std::pair<const TPort*, int>>& wanted)
{
    // The last entry for a switch decides; switch 0 and ports without a switch never move.
    std::vector<std::pair<const TPort*, int>> moves;
    for (const auto& [port, position] : wanted) {
        if (port == nullptr || !port->HasPowerSwitch() || port->GetPowerSwitch() == 0) {
            continue;
        }
        std::erase_if(moves, [&](const auto& m) {
            return m.first->GetPowerSwitch() == port->GetPowerSwitch();
        });
        moves.emplace_back(port, ClampPosition(position));
    }
    std::stable_sort(moves.begin(), moves.end(),
                     [](const auto& a, const auto& b) { return a.second < b.second; });
    // First every moved switch goes to the end, so the rest keep their order ahead of them;
    // then each goes to its place in ascending order. A switch taken from the end never
    // shifts one already placed, so each ends where it asked to be.
    for (const auto& m : moves) {
        SetPowerOnPriority(m.first, kHighestSwitch);
    }
    for (const auto& m : moves) {
        SetPowerOnPriority(m.first, m.second);
    }
}

int TPortArray::SwitchNumberAt(int position) const
{
    return order_[static_cast<size_t>(ClampPosition(position))];
}

TPort* TPortArray::SwitchAt(int position) const
{
    if (position < 0) {
        return nullptr;
    }
    return heads_[static_cast<size_t>(SwitchNumberAt(position))];
}

TPort* TPortArray::NextOnSwitch(const TPort* port) const
{
    // A port in no ring points at itself and is nobody's head: it has no successor.
    if (port == nullptr || !port->HasPowerSwitch()) {
        return nullptr;
    }
    TPort* next = port->next_;
    return next == heads_[static_cast<size_t>(port->GetPowerSwitch())] ? nullptr : next;
}

TPort* TPortArray::FirstInPowerOrder() const
{
    for (int position = 0; position < kSwitchCount; ++position) {
        if (TPort* head = SwitchAt(position)) {
            return head;
        }
    }
    return nullptr;
}

TPort* TPortArray::NextInPowerOrder(const TPort* port) const
{
    if (port == nullptr || !port->HasPowerSwitch()) {
        return nullptr;
    }
    if (TPort* next = NextOnSwitch(port)) {
        return next;
    }
    for (int position = GetPowerOnPriority(port) + 1; position < kSwitchCount; ++position) {
        if (TPort* head = SwitchAt(position)) {
            return head;
        }
    }
    return nullptr;
}

int TPortArray::GetPowerOnDelay(const TPort* port) const
{
    if (port == nullptr || !port->HasPowerSwitch()) {
        return 0;
    }
    return delays_[static_cast<size_t>(port->GetPowerSwitch())];
}

void TPortArray::SetPowerOnDelay(const TPort* port, int hundredths)
{
    if (port == nullptr || !port->HasPowerSwitch()) {
        return;
    }
    delays_[static_cast<size_t>(port->GetPowerSwitch())] = hundredths;
}

int TPortArray::PortsOnSwitch(int powerSwitch) const
{
    if (powerSwitch < 0 || powerSwitch > kHighestSwitch) {
        return 0;
    }
    return counts_[static_cast<size_t>(powerSwitch)];
}
