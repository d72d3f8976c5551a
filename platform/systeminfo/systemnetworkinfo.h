#pragma once

#include <QObject>
#include <QString>

// The handset's network information, read from the modem service on the
// system bus. Every call asks the bus afresh and never starts a service.
class SystemNetworkInfo : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultTimeout = 300;

    explicit SystemNetworkInfo(QObject *parent = nullptr);

    // The mobile country code of the SIM card's home network, three digits;
    // empty when there is no modem service, no modem, no SIM or no usable
    // operator id, or when the service does not answer in time.
    QString homeMobileCountryCode();

    // Longest wait, in milliseconds, for the modem service's list of modems,
    // and then once more for all of their SIMs together.
    int timeout() const;
    void setTimeout(int milliseconds);

private:
    int m_timeout = DefaultTimeout;
};
