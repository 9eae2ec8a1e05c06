#pragma once
// The DAS's ports and power switches: TPort is one port an instrument can be wired to, and
// TPortArray the table of the unit's ports (plus the PC COM ports used as device ports) with
// one ring of ports per power switch, the power-on order of the switches and each switch's
// power-on delay.
//
// Threads: the table is built, changed and read on the UI thread only.

#include <QString>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "station/StationConstants.h"

class TDevice;
class TPortArray;

// Port types; the value is the index of the type name in the port type table.
enum class TPortType : uint8_t {
    Debug,
    Mux,
    Serial,
    Analog,
    AnalogDiff,
    DigitalInput,
    DigitalOutput,
    Frequency,
    PCSerial,
    NoPortType,
};

// The type of a type name (exact, case-sensitive); any unknown name gives NoPortType.
TPortType PortTypeFromName(const QString& name);
// The name of a type.
QString PortTypeName(TPortType type);

// One port of the DAS (or a PC COM port): its names, power switches, serial port number, host
// channel, the device wired to it and its activity flag. Made only by TPortArray::AddPort.
class TPort {
public:
    TPort(const TPort&) = delete;
    TPort& operator=(const TPort&) = delete;

    TPortArray& GetOwner() const { return owner_; }
    const QString& GetName() const { return name_; }
    const QString& GetConnectorName() const { return connector_; }
    TPortType GetType() const { return type_; }
    int GetPowerSwitch() const { return powerSwitch_; }
    int GetSecondPowerSwitch() const { return secondPowerSwitch_; }
    int GetSerialPort() const { return serialPort_; }
    // The host channel as the internal configuration gives it (may lie outside 0..255).
    int GetHostChannel() const { return hostChannel_; }
    // True when the host channel is a real one (0..255); a port with any other number has no
    // channel at all.
    bool HasHostChannel() const { return hostChannel_ >= 0 && hostChannel_ <= kHighestHostChannel; }
    // True when the power switch is one of 0..16 (the port then lies in that switch's ring).
    bool HasPowerSwitch() const { return powerSwitch_ >= 0 && powerSwitch_ <= kHighestSwitch; }

    TDevice* GetDevice() const { return device_; }
    void SetDevice(TDevice* device) { device_ = device; }

    bool IsSerial() const { return type_ == TPortType::Serial || type_ == TPortType::PCSerial; }
    bool IsPCSerial() const { return type_ == TPortType::PCSerial; }
    bool IsAnalog() const { return type_ == TPortType::Analog; }
    bool IsAnalogDiff() const { return type_ == TPortType::AnalogDiff; }
    bool IsFrequency() const { return type_ == TPortType::Frequency; }

    // Marks that data arrived for the port's device.
    void SetActivity() { activity_ = 1; }
    // The activity flag; cleared when `clear` is set.
    bool TestAndClearActivity(bool clear);

private:
    friend class TPortArray;
    TPort(TPortArray& owner, const QString& name, const QString& connector, int hostChannel,
          int serialPort, int secondPowerSwitch, int powerSwitch, TPortType type);

    TPortArray& owner_;
    QString name_;
    QString connector_;
    TPortType type_ = TPortType::NoPortType;
    int powerSwitch_ = 0;
    int secondPowerSwitch_ = 0;
    int serialPort_ = 0;
    int hostChannel_ = 0;
    TPort* next_ = this;  // next port in the ring of the same switch
    TDevice* device_ = nullptr;
    uint8_t activity_ = 0;
};

// The table of ports in the order they were added, with per switch the ring of its ports (head:
// the first port added), their count and the switch's power-on delay, and the power-on order of
// the 17 switches (position 0 is powered first). Owns its ports.
class TPortArray {
public:
    // UI thread. An empty table: order 0..16, no rings, every delay 30.
    explicit TPortArray(int capacity = 0);
    virtual ~TPortArray();
    TPortArray(const TPortArray&) = delete;
    TPortArray& operator=(const TPortArray&) = delete;

    // UI thread. Adds a port (owned by the table) and links it into its switch's ring; a switch
    // outside 0..16 leaves it in no ring.
    TPort* AddPort(const QString& name, const QString& connector, int hostChannel,
                   int serialPortNumber, int secondPowerSwitch, int powerSwitch,
                   const QString& typeName);
    // UI thread. Adds the PC COM port `number` (1..15) as a device port: "COM3:" on host
    // channel 3, connector "PC COM3:", switch 0.
    TPort* AddPCPort(int number);
    // UI thread. Deletes the named port when it is a PC port without a device, taking it out
    // of its switch's ring; anything else is ignored.
    void RemovePort(const QString& name);

    // UI thread. The port of that exact name (the one added last), or null.
    TPort* FindPort(const QString& name) const;
    TPort* Get(int index) const;
    int Count() const { return static_cast<int>(ports_.size()); }
    int GetHighestSwitch() const { return highestSwitch_; }
    // The first port in table order without a device, of any type, or null.
    TPort* FirstFreePort() const;

    // Position 0..16 of the port's switch in the power-on order (0 for no port or a switch
    // outside 0..16).
    int GetPowerOnPriority(const TPort* port) const;
    // Moves the port's switch to `position` clamped to 0..16 and returns that position; a null
    // port, a port on switch 0 or outside 0..16 changes nothing and gives 0.
    int SetPowerOnPriority(const TPort* port, int position);
    // Puts the switches of the listed ports at the listed positions, so that each ends at its
    // own: the positions a saved station stored come back the same. Of two entries for one
    // switch the later decides; switch 0 and ports without a switch are left alone; of two
    // switches asking for one position the earlier listed comes first.
    void ApplyPowerOnPositions(const std::vector<std::pair<const TPort*, int>>& wanted);
    // The switch number at a power-on position (clamped to 0..16).
    int SwitchNumberAt(int position) const;
    // The ring head of the switch at a power-on position (above 16 taken as 16; negative: null).
    TPort* SwitchAt(int position) const;
    // The next port in the ring of the port's switch, or null at the end of the ring.
    TPort* NextOnSwitch(const TPort* port) const;
    // Walk of all ports in power order: positions 0..16, each switch's ring from its head.
    TPort* FirstInPowerOrder() const;
    // The port after `port` in power order, or null; a port in no ring has no successor.
    TPort* NextInPowerOrder(const TPort* port) const;

    // The power-on delay of the port's switch in hundredths of a second (0 for no switch).
    int GetPowerOnDelay(const TPort* port) const;
    // Stored as given; a port without a switch changes nothing.
    void SetPowerOnDelay(const TPort* port, int hundredths);
    // The number of ports on a switch (0 outside 0..16).
    int PortsOnSwitch(int powerSwitch) const;

private:
    void LinkPowerGroup(TPort* port);
    void UnlinkPowerGroup(TPort* port);

    std::vector<TPort*> ports_;
    std::array<int, kSwitchCount> order_{};
    std::array<TPort*, kSwitchCount> heads_{};
    std::array<int, kSwitchCount> counts_{};
    std::array<int, kSwitchCount> delays_{};
    int highestSwitch_ = 0;
};

// The station's port table; made by each load of the internal configuration (UI thread only).
extern TPortArray* PortArray;
