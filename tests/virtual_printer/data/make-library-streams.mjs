// Writes receipts as six general ESC/POS libraries from npm encode them, with a logo drawn
// here, payment and e-invoice QR codes, PDF417, 1-D codes, cuts and drawer pulses, and
// library-streams.tsv: one line per code a stream carries (file, symbology as ZXing and
// zbar name it, the text encoded) and per logo (file, "logo", the picture sent).
// Run by make-library-streams.sh, from the folder the libraries are installed in.
import { createRequire } from 'node:module';
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';

const require = createRequire(join(process.cwd(), 'package.json'));
const receiptline = require('receiptline');
const ReceiptPrinterEncoder = require('@point-of-sale/receipt-printer-encoder');
const { ThermalPrinter, PrinterTypes, CharacterSet } = require('node-thermal-printer');
const { Printer: BufferPrinter, InMemory, Image: BufferImage, Align, Style, Cut, Drawer } =
    require('escpos-buffer');
const escpos = require('escpos');
const nodeEscpos = require('@node-escpos/core');
const EscPosEncoder = require('esc-pos-encoder');
const { PNG } = require('pngjs');
const iconv = require('iconv-lite');

const out = process.argv[2];
const manifest = [];

// The logo: a ring with a square inside, "POS" in block letters underlined, and diagonal
// stripes, in a frame with rounded corners. Black or white only, so that every library sends
// the same dots; nothing in it is symmetric, so a shifted or mirrored copy shows.
function drawLogo(width, height) {
    const ink = new Uint8Array(width * height);
    const set = (x, y) => {
        if (x >= 0 && y >= 0 && x < width && y < height) ink[y * width + x] = 1;
    };
    const clear = (x, y) => {
        if (x >= 0 && y >= 0 && x < width && y < height) ink[y * width + x] = 0;
    };
    const corner = 12;
    for (let y = 0; y < height; ++y) {
        for (let x = 0; x < width; ++x) {
            const dx = Math.max(corner - x, x - (width - 1 - corner), 0);
            const dy = Math.max(corner - y, y - (height - 1 - corner), 0);
            const d = Math.hypot(dx, dy);
            if (d <= corner && d > corner - 3) set(x, y);
            if (dx === 0 && dy === 0 && (x < 3 || y < 3 || x >= width - 3 || y >= height - 3))
                set(x, y);
        }
    }
    const cx = 50, cy = 48;
    for (let y = 0; y < height; ++y) {
        for (let x = 0; x < width; ++x) {
            const r = Math.hypot(x - cx, y - cy);
            if (r <= 36 && !(r <= 27 && r > 21)) set(x, y);
        }
    }
    for (let y = cy - 8; y < cy + 5; ++y) for (let x = cx - 6; x < cx + 9; ++x) clear(x, y);
    const glyphs = {
        P: ['11110', '10001', '10001', '11110', '10000', '10000', '10000'],
        O: ['01110', '10001', '10001', '10001', '10001', '10001', '01110'],
        S: ['01111', '10000', '10000', '01110', '00001', '00001', '11110'],
    };
    const scale = 6;
    let left = 102;
    for (const letter of 'POS') {
        glyphs[letter].forEach((row, gy) => {
            [...row].forEach((bit, gx) => {
                if (bit !== '1') return;
                for (let y = 0; y < scale; ++y)
                    for (let x = 0; x < scale; ++x) set(left + gx * scale + x, 14 + gy * scale + y);
            });
        });
        left += 6 * scale;
    }
    for (let y = 62; y < 66; ++y) for (let x = 102; x < left - scale; ++x) set(x, y);
    for (let y = 74; y < 80; ++y) for (let x = 102; x < 150; x += 4) set(x, y);
    for (let y = 16; y < 80; ++y)
        for (let x = 232; x < 300; ++x) if ((x + y) % 12 < 5) set(x, y);
    const png = new PNG({ width, height });
    for (let i = 0; i < width * height; ++i) {
        const level = ink[i] ? 0 : 255;
        png.data.set([level, level, level, 255], i * 4);
    }
    return png;
}

const logo = drawLogo(320, 96);
const logoPng = PNG.sync.write(logo);
writeFileSync(join(out, 'logo.png'), logoPng);

function save(file, bytes, codes) {
    writeFileSync(join(out, file), bytes);
    for (const [symbology, text] of codes) manifest.push([file, symbology, text]);
}

// receiptline's image processing for drawn shapes rather than photos: a threshold, no error
// diffusion, so the logo arrives dot for dot.
const shapes = { gradient: false };

const payUrl = 'https://pay.example.cn/qr/20261208-0001?amount=58.50&shop=XH01';
const invoiceUrl =
    'https://inv.example.cn/e-invoice?code=144032600111&no=08827315&date=20261208&check=7B3F9A';

// receiptline: GS 8 L / GS ( L graphics for the logo and the QR code on 80 mm paper, the
// columns placed with GS L, GS W, ESC $ and ESC \, Chinese in GB18030 after FS &.
{
    const doc = `{i:${logoPng.toString('base64')}}
^^^溪禾茶饮 · 南山店
深圳市南山区科技园路 8 号
电话 0755-8600 0000
{w:auto}
单号: 20261208-0001 | 2026-12-08 09:41
-
{w:*,4,10}
招牌奶茶 (大杯) | 2 | 36.00
柠檬绿茶 | 1 | 15.00
芝士蛋糕 | 1 | 7.50
-
{w:auto}
^合计 | ^￥58.50
微信支付 | 58.50
{b:line;w:16,*}
|会员 | 8899 0001 |
|积分 | +58 |
{b:space;w:auto}
{c:${payUrl};o:qrcode,6,m}
扫码付款
{c:20261208-0001;o:code128,2,72,hri}
谢谢惠顾，欢迎再次光临！
`;
    const bytes = receiptline.transform(doc, { ...shapes, cpl: 48, encoding: 'gb18030', command: 'escpos' });
    save('receiptline-escpos.bin', Buffer.from(bytes, 'binary'), [
        ['logo', 'logo.png'],
        ['QRCode', payUrl],
        ['CODE-128', '20261208-0001'],
    ]);
}

// receiptline, generic ESC/POS: GS v 0 for the logo and the QR code, on 58 mm paper.
{
    const doc = `{i:${logoPng.toString('base64')}}
^电子发票
开票日期 | 2026-12-08
发票号码 | 08827315
价税合计 | ￥58.50
{c:${invoiceUrl};o:qrcode,4,l}

{c:6901234567892;o:ean,2,64,hri}
`;
    const bytes = receiptline.transform(doc, { ...shapes, cpl: 32, encoding: 'gb18030', command: 'generic' });
    save('receiptline-generic-58mm.bin', Buffer.from(bytes, 'binary'), [
        ['logo', 'logo.png'],
        ['QRCode', invoiceUrl],
        ['EAN-13', '6901234567892'],
    ]);
}

// receiptline, multilingual: ESC t switches between PC437, WPC1252, PC866, PC852 and PC858
// character by character; ruled lines from the Katakana table.
{
    const doc = `^^Café Łódź
Crème brûlée | 4,50 €
Grüße aus Zürich | 3,20 €
Smørrebrød | 6,00 €
Пельмени | 5,10 €
Żurek, ½ porcji | 2,80 €
-
^Σ | ^21,60 €
{b:line;w:*,10}
|Ñandú ±0,5° | ©®™ |
{b:space;w:auto}
{c:4006381333931;o:ean,2,64,hri}
`;
    const bytes = receiptline.transform(doc, { ...shapes, cpl: 48, encoding: 'multilingual', command: 'escpos' });
    save('receiptline-multilingual.bin', Buffer.from(bytes, 'binary'), [['EAN-13', '4006381333931']]);
}

// receiptline on 58 mm paper with a left margin (GS L) and line spacing (ESC 2): the logo
// and the QR code as GS 8 L graphics inside the narrower printing area.
{
    const doc = `{i:${logoPng.toString('base64')}}
"取餐号 A-17"
{w:auto}
鲜榨橙汁 | ￥12.00
{c:${payUrl};o:qrcode,5,h}

{c:A17-1208;o:code39,2,64,hri}
`;
    const bytes = receiptline.transform(doc, {
        ...shapes, cpl: 30, encoding: 'gb18030', command: 'escpos', margin: 1, spacing: true,
    });
    save('receiptline-escpos-58mm.bin', Buffer.from(bytes, 'binary'), [
        ['logo', 'logo.png'],
        ['QRCode', payUrl],
        ['CODE-39', 'A17-1208'],
    ]);
}

const gbk = (text) => [...iconv.encode(text, 'gbk')];
const kanji = (encoder, text) => encoder.raw([0x1c, 0x26, ...gbk(text), 0x1c, 0x2e]).newline();
const pixels = { data: new Uint8ClampedArray(logo.data), width: logo.width, height: logo.height };

// The receipt encoder for a Chinese-market 80 mm printer: GS v 0 raster logo, GS ( k QR code
// and PDF417, code tables chosen per character, Chinese sent raw between FS & and FS .
{
    const encoder = new ReceiptPrinterEncoder({ printerModel: 'pos-8360', codepageMapping: 'pos-8360' });
    encoder.initialize().align('center').image(pixels, 320, 96, 'threshold');
    kanji(encoder.align('center').bold(true).size(2, 2), '溪禾茶饮');
    encoder.size(1, 1).bold(false).align('left');
    encoder.codepage('auto')
        .line('Café au lait        12,50 €')
        .line('Müsli               8,00 €')
        .line('Борщ                9,90 €')
        .line('ｺｰﾋｰ                6,00 €')
        .rule()
        .align('center')
        .qrcode(payUrl, 2, 6, 'm')
        .pdf417('INV 144032600111 08827315 2026-12-08 TOTAL 58.50', { columns: 4, width: 2, height: 3, errorlevel: 2 })
        .barcode('6901234567892', 'ean13', { height: 60, width: 2, text: 'below' })
        .pulse()
        .cut('partial');
    save('encoder-raster.bin', Buffer.from(encoder.encode()), [
        ['logo', 'logo.png'],
        ['QRCode', payUrl],
        ['PDF417', 'INV 144032600111 08827315 2026-12-08 TOTAL 58.50'],
        ['EAN-13', '6901234567892'],
    ]);
}

// The receipt encoder's column images: ESC * 33 in 24-dot strips, motion units set by GS P.
{
    const encoder = new ReceiptPrinterEncoder({ printerModel: 'xprinter-xp-n160ii', imageMode: 'column' });
    encoder.initialize().align('left').image(pixels, 320, 96, 'threshold');
    kanji(encoder, '小票 No.0002');
    encoder.line('Total: 58.50')
        .qrcode(invoiceUrl, 2, 4, 'q')
        .barcode('No.0002', 'code128', { height: 60, text: 'below' })
        .pdf417('ORDER 0002 TABLE 7', { errorlevel: 1 })
        .cut('full');
    save('encoder-column.bin', Buffer.from(encoder.encode()), [
        ['logo', 'logo.png'],
        ['QRCode', invoiceUrl],
        ['CODE-128', 'No.0002'],
        ['PDF417', 'ORDER 0002 TABLE 7'],
    ]);
}

// The receipt encoder for a 58 mm printer: a boxed table drawn with code table characters,
// a raster logo, a QR code and a CODE39 barcode.
{
    const encoder = new ReceiptPrinterEncoder({ printerModel: 'pos-5890' });
    encoder.initialize().align('center').image(pixels, 320, 96, 'threshold');
    encoder.align('left').table(
        [{ width: 20, align: 'left' }, { width: 11, align: 'right' }],
        [['Espresso', '2,20'], ['Cappuccino', '3,10'], ['Total', '5,30']],
    );
    encoder.box({ outline: 'double', width: 30 }, 'Thank you!')
        .qrcode('https://shop.example.eu/r/4712', 2, 5, 'l')
        .barcode('CUP-4712', 'code39', { height: 50, width: 1, text: 'below' })
        .cut('partial');
    save('encoder-58mm.bin', Buffer.from(encoder.encode()), [
        ['logo', 'logo.png'],
        ['QRCode', 'https://shop.example.eu/r/4712'],
        ['CODE-39', 'CUP-4712'],
    ]);
}

// The thermal printer driver: Chinese in EUC-CN after ESC R 15, GS v 0 logo, GS ( k QR code
// and PDF417, CODE128, EAN-13 in the counted form, full cut. Not its openCashDrawer: that
// sends ESC p without the pulse times, so a printer takes the next command's bytes for them.
{
    const printer = new ThermalPrinter({ type: PrinterTypes.EPSON, width: 48, characterSet: CharacterSet.CHINA });
    printer.alignCenter();
    await printer.printImageBuffer(logoPng);
    printer.setTextQuadArea();
    printer.println('溪禾茶饮');
    printer.setTextNormal();
    printer.alignLeft();
    printer.tableCustom([
        { text: '招牌奶茶', align: 'LEFT', width: 0.5 },
        { text: 'x2', align: 'CENTER', width: 0.25 },
        { text: '36.00', align: 'RIGHT', width: 0.25 },
    ]);
    printer.leftRight('合计', '58.50');
    printer.bold(true);
    printer.println('扫码开票');
    printer.bold(false);
    printer.alignCenter();
    printer.printQR(invoiceUrl, { cellSize: 5, correction: 'M', model: 2 });
    printer.newLine();
    printer.pdf417('20261208-0001 58.50', { width: 2, rowHeight: 3, correction: 2 });
    printer.newLine();
    printer.code128('20261208-0001', { hriPos: 2, width: 2, height: 60 });
    printer.printBarcode('6901234567892', 67, { hriPos: 2, width: 2, height: 60 });
    printer.cut();
    save('thermal-printer-china.bin', printer.getBuffer(), [
        ['logo', 'logo.png'],
        ['QRCode', invoiceUrl],
        ['PDF417', '20261208-0001 58.50'],
        ['CODE-128', '20261208-0001'],
        ['EAN-13', '6901234567892'],
    ]);
}

// The thermal printer driver with code tables: PC858, PC852, ISO8859-7 and PC866 chosen as
// characters need them, inverted and underlined text, a small QR code, a partial cut. A
// Chinese-market printer starts in Kanji mode: FS . first, as a program for one sends it.
{
    const printer = new ThermalPrinter({ type: PrinterTypes.EPSON, width: 48 });
    printer.add(Buffer.from([0x1c, 0x2e]));
    printer.setCharacterSet(CharacterSet.PC858_EURO);
    printer.invert(true);
    printer.println(' Bäckerei Müller ');
    printer.invert(false);
    printer.underline(true);
    printer.println('Brötchen 0,45 €  Čaj 1,20 €');
    printer.underline(false);
    printer.println('Пирожок 0,90 €');
    printer.setTextDoubleHeight();
    printer.leftRight('Summe', '2,55 €');
    printer.setTextNormal();
    printer.alignRight();
    printer.printQR('https://shop.example.eu/r/4711', { cellSize: 4, correction: 'H' });
    printer.partialCut();
    save('thermal-printer-europe.bin', printer.getBuffer(), [['QRCode', 'https://shop.example.eu/r/4711']]);
}

// escpos-buffer for an Epson TM-T20: ESC * 33 logo in 24-dot strips, GS ( k QR code, drawer
// pulse, partial cut. It has no Chinese code page and no barcode method: the ITF code goes
// raw through its connection, as a program using it sends one.
{
    const connection = new InMemory();
    const printer = await BufferPrinter.CONNECT('TM-T20', connection);
    await printer.setAlignment(Align.Center);
    await printer.draw(new BufferImage({ data: logo.data, width: logo.width, height: logo.height }));
    await printer.writeln('Padaria Central', Style.DoubleHeight | Style.Bold, Align.Center);
    await printer.writeln('Cafe com leite      R$ 5,00');
    await printer.qrcode('https://shop.example.br/r/9001', 5);
    connection.write(Buffer.from([0x1d, 0x6b, 70, 14, ...Buffer.from('17899999000012')]));
    await printer.feed(1);
    await printer.drawer(Drawer.First);
    await printer.cutter(Cut.Partial);
    save('escpos-buffer.bin', connection.buffer(), [
        ['logo', 'logo.png'],
        ['QRCode', 'https://shop.example.br/r/9001'],
        ['I2/5', '17899999000012'],
    ]);
}

// A printer that only collects what the npm escpos drivers write.
const collector = { write() {}, open() {}, close() {} };
const logoPath = join(out, 'logo.png');

// escpos: ESC * 33 logo after ESC 3 0, Chinese in GB18030, the QR code as a picture (its
// qrcode() sends GS Z / ESC Z, which an ESC/POS printer does not know), EAN-13 with the check
// digit it computes, drawer pulse, full cut.
{
    const printer = new escpos.Printer(collector, { encoding: 'GB18030' });
    const image = await new Promise((loaded) => escpos.Image.load(logoPath, loaded));
    printer.align('ct');
    await printer.image(image, 'd24');
    printer.size(2, 2).text('溪禾茶饮').size(1, 1).align('lt').text('招牌奶茶 x2     36.00');
    printer.align('ct');
    await new Promise((done) => printer.qrimage(payUrl, { type: 'png', mode: 'normal', size: 6 }, done));
    printer.barcode('690123456789', 'EAN13', { width: 2, height: 60 });
    printer.cashdraw(2).cut();
    save('escpos.bin', printer.buffer.flush(), [
        ['logo', 'logo.png'],
        ['QRCode', payUrl],
        ['EAN-13', '6901234567892'],
    ]);
}

// @node-escpos/core, escpos's successor: the same, with ITF in the NUL form. Not its CODE93
// or CODE128: it ends their counted form with a NUL too, and its count byte is the length's
// hex digits read as hex, which is nothing below 16.
{
    const printer = new nodeEscpos.Printer(collector, { encoding: 'GB18030' });
    const image = await nodeEscpos.Image.load(logoPath);
    printer.align('ct');
    await printer.image(image, 'd24');
    printer.text('溪禾茶饮 南山店').align('lt').text('柠檬绿茶 x1     15.00');
    printer.align('ct');
    await printer.qrimage(invoiceUrl, { type: 'png', mode: 'normal', size: 6 });
    printer.barcode('06901234567892', 'ITF', { width: 2, height: 60 });
    printer.cashdraw(2).cut();
    save('node-escpos.bin', printer.buffer.flush(), [
        ['logo', 'logo.png'],
        ['QRCode', invoiceUrl],
        ['I2/5', '06901234567892'],
    ]);
}

// esc-pos-encoder 3.0.0's column images: ESC * 33 strips of 24 dots, but ESC 3 36 between
// them (0x24 where its own note says 24 dots). A 203 dpi printer counts that in dots, so each
// strip is followed by 12 blank rows: the manifest says "strips 24 36".
{
    const encoder = new EscPosEncoder({ imageMode: 'column' });
    encoder.initialize().align('left').image(pixels, 320, 96, 'threshold');
    encoder.line('Total: 58.50')
        .qrcode('https://shop.example.eu/r/4713', 2, 4, 'm')
        .barcode('4713', 'code128', 60)
        .cut('full');
    save('esc-pos-encoder-3.bin', Buffer.from(encoder.encode()), [
        ['logo', 'logo.png strips 24 36'],
        ['QRCode', 'https://shop.example.eu/r/4713'],
        ['CODE-128', '4713'],
    ]);
}

// receiptline for a dot impact printer (TM-U220): the logo as ESC * single density strips of
// 8 dots with ESC J 16 after each, which a 203 dpi thermal head prints two dots wide and three
// tall. This target sends no barcodes and no 2-D codes at all (receiptline's restrictions say
// so), so there are none to read back. A logo of 160 x 48 dots, to fit the paper twice as wide.
{
    const small = drawLogo(160, 48);
    const smallPng = PNG.sync.write(small);
    writeFileSync(join(out, 'logo-160.png'), smallPng);
    const doc = `{i:${smallPng.toString('base64')}}
^Total | 58.50
{c:https://shop.example.eu/r/4714;o:qrcode,4,m}
{c:4714;o:code128,2,72,hri}
`;
    const bytes = receiptline.transform(doc, { ...shapes, cpl: 42, encoding: 'cp437', command: 'impact' });
    save('receiptline-impact.bin', Buffer.from(bytes, 'binary'), [['logo', 'logo-160.png 2x3']]);
}

writeFileSync(join(out, 'library-streams.tsv'), manifest.map((row) => row.join('\t') + '\n').join(''));
